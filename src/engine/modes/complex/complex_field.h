// A field of the complexation table.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

// The text of one field of the complexation table in 8 bytes. The table of a
// large composition holds millions of fields, nearly all short numbers or
// "None": a text of up to 7 characters lies in the field itself, a longer one
// in a block of its own on the heap (its length, then its characters).
//
// The 8 bytes hold either the block's address or, told apart by the lowest
// bit of the address's lowest byte (0 for any block, which is aligned), a
// short text: that byte holds its length * 2 + 1, the other seven its
// characters.
class ComplexField {
public:
    static constexpr std::size_t kInlineChars = 7;

    ComplexField() noexcept { Clear(); }
    ComplexField(std::string_view text);
    ComplexField(const std::string& text) : ComplexField(std::string_view(text)) {}
    ComplexField(const char* text) : ComplexField(std::string_view(text)) {}
    ComplexField(const ComplexField& other) : ComplexField(other.view()) {}
    ComplexField(ComplexField&& other) noexcept : bytes_(other.bytes_) { other.Clear(); }
    ComplexField& operator=(const ComplexField& other);
    ComplexField& operator=(ComplexField&& other) noexcept;
    ~ComplexField() { Release(); }

    std::string_view view() const noexcept { return {Data(), size()}; }
    operator std::string() const { return std::string(view()); }
    std::size_t size() const noexcept;
    bool empty() const noexcept { return size() == 0; }
    char operator[](std::size_t k) const noexcept { return Data()[k]; }
    // Whether the text lies in the field itself (no block of its own).
    bool Inline() const noexcept { return bytes_.b[kTag] & 1u; }

    friend bool operator==(const ComplexField& a, const ComplexField& b) noexcept
    {
        return a.view() == b.view();
    }
    friend bool operator==(const ComplexField& a, const std::string& b) noexcept
    {
        return a.view() == b;
    }
    friend bool operator==(const ComplexField& a, const char* b) noexcept
    {
        return a.view() == std::string_view(b);
    }
    friend std::ostream& operator<<(std::ostream& out, const ComplexField& f);

private:
    // The byte that holds the address's lowest byte, and the first character
    // of a short text.
    static constexpr std::size_t kTag = std::endian::native == std::endian::little ? 0 : 7;
    static constexpr std::size_t kText = kTag == 0 ? 1 : 0;

    struct Bytes {
        alignas(8) unsigned char b[8];
    };

    const char* Block() const noexcept;
    const char* Data() const noexcept;
    void Clear() noexcept { bytes_ = Bytes{{1, 0, 0, 0, 0, 0, 0, 0}}; }
    void Release() noexcept;

    Bytes bytes_;
};

static_assert(sizeof(void*) == 8);
static_assert(sizeof(ComplexField) == 8);

#include "engine/modes/complex/complex_field.h"

#include <cstring>
#include <new>
#include <ostream>

ComplexField::ComplexField(std::string_view text)
{
    if (text.size() <= kInlineChars) {
        Clear();
        bytes_.b[kTag] = static_cast<unsigned char>(text.size() * 2 + 1);
        if (!text.empty()) std::memcpy(bytes_.b + kText, text.data(), text.size());
        return;
    }
    const std::size_t n = text.size();
    char* block = static_cast<char*>(::operator new(sizeof n + n));
    std::memcpy(block, &n, sizeof n);
    std::memcpy(block + sizeof n, text.data(), n);
    bytes_ = Bytes{};
    std::memcpy(bytes_.b, &block, sizeof block);
}

ComplexField& ComplexField::operator=(const ComplexField& other)
{
    if (this != &other) *this = ComplexField(other);
    return *this;
}

ComplexField& ComplexField::operator=(ComplexField&& other) noexcept
{
    if (this != &other) {
        Release();
        bytes_ = other.bytes_;
        other.Clear();
    }
    return *this;
}

const char* ComplexField::Block() const noexcept
{
    const char* block = nullptr;
    std::memcpy(&block, bytes_.b, sizeof block);
    return block;
}

const char* ComplexField::Data() const noexcept
{
    return Inline() ? reinterpret_cast<const char*>(bytes_.b + kText)
                    : Block() + sizeof(std::size_t);
}

std::size_t ComplexField::size() const noexcept
{
    if (Inline()) return bytes_.b[kTag] >> 1;
    std::size_t n = 0;
    std::memcpy(&n, Block(), sizeof n);
    return n;
}

void ComplexField::Release() noexcept
{
    if (!Inline()) ::operator delete(const_cast<char*>(Block()));
}

std::ostream& operator<<(std::ostream& out, const ComplexField& f)
{
    return out << f.view();
}

// A tiny builder of file bytes for golden files written straight from the
// layout tables (little-endian, zero-terminated strings), independent of the
// program's writers.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

struct Bytes {
    std::string b;
    Bytes& str(const std::string& s) { b += s; b.push_back('\0'); return *this; }
    Bytes& u8(unsigned v) { b.push_back(static_cast<char>(v & 0xFF)); return *this; }
    Bytes& i32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
        return *this;
    }
    Bytes& f64(double v)
    {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        for (int k = 0; k < 8; ++k) b.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
        return *this;
    }
    Bytes& raw(const std::string& s) { b += s; return *this; }
    std::size_t size() const { return b.size(); }
};

inline void WriteBytes(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the 4 bytes at `offset` by a little-endian int32.
inline std::string WithInt32At(std::string bytes, std::size_t offset, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k) bytes[offset + k] = static_cast<char>((u >> (8 * k)) & 0xFF);
    return bytes;
}

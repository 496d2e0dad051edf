// A tiny builder of file bytes for golden files written straight from the
// layout tables (little-endian, zero-terminated strings), independent of the
// program's writers, and the damaged copies every reader must refuse.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

struct Bytes {
    std::string b;
    Bytes& le(std::uint64_t u, int n)
    {
        for (int k = 0; k < n; ++k) b.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
        return *this;
    }
    Bytes& str(const std::string& s)
    {
        b += s;
        b.push_back('\0');
        return *this;
    }
    Bytes& u8(unsigned v) { return le(v, 1); }
    Bytes& i32(std::int32_t v) { return le(static_cast<std::uint32_t>(v), 4); }
    Bytes& f64(double v)
    {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        return le(u, 8);
    }
    Bytes& f64s(const double* v, int n)
    {
        for (int i = 0; i < n; ++i) f64(v[i]);
        return *this;
    }
    Bytes& raw(const std::string& s)
    {
        b += s;
        return *this;
    }
    std::size_t size() const { return b.size(); }
};

inline void WriteBytes(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the 4 bytes at `offset` by a little-endian int32.
inline std::string WithInt32At(std::string bytes, std::size_t offset, std::int32_t v)
{
    return bytes.replace(offset, 4, Bytes().i32(v).b);
}

// `g` cut at every length below g.size() - keep, then `g` with the count at each
// offset set to -1, 0, the largest and the smallest int.
inline std::vector<std::string> Damaged(const std::string& g, std::size_t keep,
                                        std::initializer_list<std::size_t> counts)
{
    std::vector<std::string> d;
    for (std::size_t len = 0; len + keep < g.size(); ++len) d.push_back(g.substr(0, len));
    for (std::size_t at : counts)
        for (std::int32_t v : {-1, 0, INT_MAX, INT_MIN}) d.push_back(WithInt32At(g, at, v));
    return d;
}

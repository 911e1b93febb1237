// Little-endian field helpers: WAVE numbers are read and written byte by byte,
// never by laying a struct over the bytes.
#pragma once

#include <cstdint>

inline uint16_t bytesToU16le(const uint8_t* b)
{
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t bytesToU32le(const uint8_t* b)
{
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void u16leToBytes(uint16_t v, uint8_t* b)
{
    b[0] = static_cast<uint8_t>(v & 0xFFu);
    b[1] = static_cast<uint8_t>(v >> 8);
}

inline void u32leToBytes(uint32_t v, uint8_t* b)
{
    b[0] = static_cast<uint8_t>(v & 0xFFu);
    b[1] = static_cast<uint8_t>((v >> 8) & 0xFFu);
    b[2] = static_cast<uint8_t>((v >> 16) & 0xFFu);
    b[3] = static_cast<uint8_t>(v >> 24);
}

// A chunk identifier as the little-endian number its four bytes make, so that
// identifiers can be dispatched with a switch.
constexpr uint32_t fourCc(const char (&id)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(id[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(id[3])) << 24);
}

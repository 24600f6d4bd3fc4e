// Little-endian integers in byte buffers, as the package directory, the
// gzip trailer and the PE headers store them.
#pragma once

#include <stdint.h>

inline uint16_t littleEndian16(const unsigned char *bytes)
{
    return (uint16_t)(bytes[0] | (bytes[1] << 8));
}

inline uint32_t littleEndian32(const unsigned char *bytes)
{
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | ((uint32_t)bytes[3] << 24);
}

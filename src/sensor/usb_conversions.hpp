// Scaling of the evaluation kit's sample formats to 16-bit words holding 12 significant bits,
// as the USB back-end writes them into the cache.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Telmora {

// Converts one library image of `bytes` bytes into `out` and returns the bytes it occupies
// there: 8-bit samples become b << 4 (2 x bytes written); 16-bit words of 12 bits are copied;
// of more bits shifted right, of fewer bits shifted left, to 12 (a trailing odd byte is left
// alone). Any other format writes nothing but still occupies `bytes`.
size_t usbConvertImage(const uint8_t* src, size_t bytes, uint32_t bit_width, uint32_t bpp,
                       uint8_t* out);

}  // namespace Telmora

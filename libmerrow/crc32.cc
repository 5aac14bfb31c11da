// The CRC-32 of ISO 3309 and ITU-T V.42 (reflected polynomial 0xEDB88320),
// which debug links and xz streams carry. Eight tables, computed by the
// compiler, let it take eight bytes a step: debug files run to many megabytes.
#include "libmerrow/internal.h"

#include <cstring>

namespace {

struct crc_tables {
  uint32_t t[8][256];
};

constexpr crc_tables make_crc_tables()
{
  crc_tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables.t[0][i] = c;
  }
  for (int k = 1; k < 8; ++k)
    for (uint32_t i = 0; i < 256; ++i)
      tables.t[k][i] = (tables.t[k - 1][i] >> 8) ^ tables.t[0][tables.t[k - 1][i] & 0xff];
  return tables;
}

constexpr crc_tables crc = make_crc_tables();

}  // namespace

uint32_t bt_crc32(uint32_t value, const unsigned char *p, size_t n)
{
  const auto &t = crc.t;
  uint32_t c = ~value;
  for (; n >= 8; n -= 8, p += 8) {
    uint32_t lo = c ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
    c = t[7][lo & 0xff] ^ t[6][(lo >> 8) & 0xff] ^ t[5][(lo >> 16) & 0xff] ^ t[4][lo >> 24] ^
        t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; n > 0; --n)
    c = t[0][(c ^ *p++) & 0xff] ^ (c >> 8);
  return ~c;
}

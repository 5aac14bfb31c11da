// The MD5 message digest over memory buffers and streams, with an incremental
// interface.
#ifndef VUZ_SUPPORT_MD5_H
#define VUZ_SUPPORT_MD5_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct md5_state {
  uint32_t A, B, C, D;
  uint32_t total[2];  // bytes processed: low word, high word
  uint32_t buffer_length;
  alignas(uint32_t) unsigned char buffer[128];
};

constexpr size_t md5_digest_size = 16;

void md5_init_state(md5_state *state);
void md5_process_blocks(const void *bytes, size_t length, md5_state *state);
void md5_add_bytes(const void *bytes, size_t length, md5_state *state);
void *md5_finish_state(md5_state *state, void *result);
void *md5_read_result(const md5_state *state, void *result);
void *md5_digest_buffer(const void *bytes, size_t length, void *result);
int md5_digest_stream(FILE *stream, void *result);

#endif

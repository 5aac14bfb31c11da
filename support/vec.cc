// The growth rule shared by every vector, and the one out-of-line push.
#include "support/vec.h"

#include "support/mem-stats.h"

// The vector statistics registry lives from before main until exit; it starts
// here because every program that grows a vector links this file.
static const bool vec_stats_started = (vec_stats_startup(), true);

uint32_t calculate_allocation_1(uint32_t capacity, uint32_t desired)
{
  vuz_assert_as(capacity < desired, "vec", "calculate_allocation_1");
  uint32_t grown;
  if (capacity == 0)
    grown = 4;
  else if (capacity > 15)
    grown = static_cast<uint32_t>(uint64_t{capacity} * 3 / 2);
  else
    grown = capacity * 2;
  return grown > desired ? grown : desired;
}

void vector_push_pointer(vec<void *> *&v, void *element)
{
  vec_safe_push(v, element);
}

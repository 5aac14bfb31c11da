// The floor of start-up measurements: a minimal C++ program built with the
// same flags as the drivers.
#include <cstdio>

int main()
{
  return std::fflush(stdout);
}

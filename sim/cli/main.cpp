#include <cstdio>

int main() {
  std::fprintf(stderr, "tidewell-sim: not built yet\n");
  return 2;
}

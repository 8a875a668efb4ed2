#include <cstdio>

int main() {
  std::puts("usage: toggra-bench FILE show|set DEVICE ID VALUE|demo");
  return 2;
}

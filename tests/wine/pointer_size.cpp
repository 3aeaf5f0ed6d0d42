// Prints the pointer size of its own process: "ptr=4" when a 32-bit Windows
// program runs here. kit builds it for i686 and runs it under Wine before the tests.
#include <cstdio>

int main()
{
    std::printf("ptr=%u\n", static_cast<unsigned>(sizeof(void *)));
    return 0;
}

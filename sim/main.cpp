#include <cstdio>

// Placeholder until the server simulator is built.
int main() {
    std::fprintf(stderr, "orvane-sim: not built yet\n");
    return 2;
}

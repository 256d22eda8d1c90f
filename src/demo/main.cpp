// Headless run of the engine on a generated signal, until the windows exist.
#include <cstdio>
int main() {
    std::puts("Kreisel: engine demo not built yet");
    return 0;
}

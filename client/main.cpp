// Placeholder entry until the main window lands.
#include <cstdio>

int main() {
    std::fputs("Ведрис: головне вікно ще не зібрано.\n", stderr);
    return 1;
}

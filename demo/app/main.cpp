// The demo installation's lumenframe.exe: a stand-in for the desktop app.
#include <cstdio>

int main() {
    std::puts("Lumenframe (demo build)");
    return 0;
}

// A harmless program to run under the client's program names.
#include <windows.h>

int main() {
    Sleep(300000);
    return 3;
}

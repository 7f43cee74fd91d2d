// set_ie_proxy_tool set ADDRESS | cancel
// Calls SetIeProxy once in a process of its own, for the script tests that look at the registry
// and at other programs from outside. Prints the status text as hex bytes of its GBK form.
#include <cstdio>
#include <cstring>

#include "sysproxy/sysproxy.h"

int main(int argc, char** argv) {
    Text status;
    if (argc == 3 && strcmp(argv[1], "set") == 0) {
        status = SetIeProxy(argv[2], true);
    } else if (argc == 2 && strcmp(argv[1], "cancel") == 0) {
        status = SetIeProxy(Text{}, false);
    } else {
        fprintf(stderr, "usage: set_ie_proxy_tool set ADDRESS | cancel\n");
        return 2;
    }
    for (unsigned char c : status) printf("%02X", c);
    printf("\n");
    return 0;
}

#include "app/program.h"

int main(int, char**) {
    Program program;
    program.shell.run();
    return 0;
}

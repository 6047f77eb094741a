// Vellorin: shows one Bezier surface patch in 3-D and lets the user edit it.
// The command-line arguments go unchanged to GLUT; the program defines no options of its own.
#include "app/app.h"

int main(int argc, char** argv) {
    return runEditor(argc, argv);
}

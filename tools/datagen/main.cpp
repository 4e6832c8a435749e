/*
 * main.cpp - datagen: writes the program's data files into a run layout.
 *
 *   datagen <run-folder>
 *
 * Output is deterministic: the same build gives the same bytes on every run.
 */
#include "model.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: datagen <run-folder>\n");
        return 2;
    }
    return datagen::WriteRunLayout(argv[1]) ? 0 : 1;
}

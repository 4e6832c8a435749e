// Prints the name of the skinning kernel UpdateSkinnedMesh uses in this process (the
// choice is made once per process, so tests run this in a child with their registry).
#include "skin_kernels.h"

#include <stdio.h>

int main()
{
    printf("%s\n", tavrok::d3dx9mesh::ActiveSkinKernel().name);
    return 0;
}

// kelvast: the entry point; everything else is in the kelvastcore library.
#include "zunaCmd.h"
#include "stdfds.h"

int main(int argc, char** argv)
{
    OpenNullOnClosedStandardDescriptors();
    return KelvastMain(argc, argv);
}

#include "shell/startup.h"
#include "userint.h"

int main(int argc, char **argv)
{
    InitUserInterface(argc, argv);
    return KalMain(argc, argv);
}

#include "server/Cli.h"

int main(int argc, char** argv)
{
    return zel::server::RunCli(argc, argv);
}

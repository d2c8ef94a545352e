#include "cli/cli.h"

#include <QCoreApplication>
#include <iostream>

int main(int argc, char** argv) {
    // Station code needs an event loop for the link threads' notifications.
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return kelvor::cli::run(args, std::cout, std::cerr);
}

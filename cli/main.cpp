// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_folder.hpp"
#include "app/settings_store.hpp"
#include "cli/cli_app.hpp"

#include <QCoreApplication>

#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#else
#include <unistd.h>
#endif

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    tessaline::SettingsStore settings = tessaline::SettingsStore::userStore();
    const tessaline::CliEnvironment environment{tessaline::ProgramFolder().toStdString(), &settings,
                                                isatty(STDOUT_FILENO) == 1};
    return tessaline::runCli(args, environment, std::cout, std::cerr);
}

// vesk: packs a Windows Installer package into the setup stub, and
// inspects, verifies and unpacks the setups it makes.
#include <iostream>

#include "commands.h"
#include "failure.h"

int main(int argc, char** argv) {
    try {
        return vesk::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const vesk::UsageError& failure) {
        std::cerr << "vesk: " << failure.what() << '\n';
        return vesk::kExitUsage;
    } catch (const std::exception& failure) {
        std::cerr << "vesk: " << failure.what() << '\n';
        return vesk::kExitFailure;
    }
}

// vesk: packs a Windows Installer package into the setup stub, and
// inspects, verifies and unpacks the setups it makes.
#include <iostream>

#include "command_line.h"
#include "failure.h"
#include "describe_setup.h"
#include "unpack.h"
#include "verify.h"

namespace {

int Run(const vesk::Command& command) {
    if (auto* show = std::get_if<vesk::ShowText>(&command)) {
        std::cout << show->text;
    } else if (auto* pack = std::get_if<vesk::PackOptions>(&command)) {
        vesk::Pack(*pack);
    } else if (auto* inspect = std::get_if<vesk::InspectCommand>(&command)) {
        vesk::Report report = vesk::InspectSetup(inspect->setup);
        if (inspect->json)
            report.PrintJson(std::cout);
        else
            report.PrintText(std::cout);
    } else if (auto* verify = std::get_if<vesk::VerifyCommand>(&command)) {
        std::string signature;
        auto problems = vesk::VerifySetup(verify->setup, &signature);
        for (const std::string& problem : problems) std::cerr << "vesk: " << verify->setup.string() << ": " << problem << '\n';
        if (!problems.empty()) return 1;
        std::cout << verify->setup.string() << ": OK (" << signature << ")\n";
    } else if (auto* unpack = std::get_if<vesk::UnpackCommand>(&command)) {
        vesk::Unpack(unpack->setup, unpack->directory);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(vesk::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const std::exception& failure) {
        std::cerr << "vesk: " << failure.what() << '\n';
        return 1;
    }
}

// vesk: packs a Windows Installer package into the setup stub, and
// inspects, verifies and unpacks the setups it makes.
#include <iostream>

#include "arguments.h"
#include "failure.h"
#include "describe_setup.h"
#include "unpack.h"
#include "verify.h"

namespace {

int Verify(const vesk::VerifyCommand& verify) {
    vesk::SignatureReport signature;
    std::vector<std::string> problems;
    try {
        problems = vesk::VerifySetup(verify.setup, &signature, verify.caFile);
    } catch (const vesk::Failure& failure) {
        // Not a setup at all: still one object for a JSON reader.
        if (!verify.json) throw;
        problems = {failure.Problem()};
        signature.state = "unknown";
    }
    if (verify.json) {
        vesk::Report listed = vesk::Report::Array();
        for (const std::string& problem : problems) listed.Push(vesk::Report::Text(problem));
        vesk::Report report = vesk::Report::Object();
        report.AddText("file", verify.setup.string())
            .Add("sound", vesk::Report::Boolean(problems.empty()))
            .AddText("signature", signature.state);
        if (signature.validFrom) report.AddText("validFrom", *signature.validFrom);
        if (signature.validUntil) report.AddText("validUntil", *signature.validUntil);
        report.Add("problems", std::move(listed));
        report.PrintJson(std::cout);
    } else {
        const std::string setup = vesk::Escaped(verify.setup.string());
        for (const std::string& problem : problems) std::cerr << "vesk: " << setup << ": " << problem << '\n';
        if (problems.empty()) std::cout << setup << ": OK (" << signature.state << ")\n";
    }
    return problems.empty() ? 0 : vesk::kExitFailure;
}

int Run(const vesk::Command& command) {
    if (auto* show = std::get_if<vesk::ShowText>(&command)) {
        (show->exitCode == 0 ? std::cout : std::cerr) << show->text;
        return show->exitCode;
    } else if (auto* pack = std::get_if<vesk::PackOptions>(&command)) {
        vesk::SetVerbosity(pack->verbosity);
        vesk::Pack(*pack);
    } else if (auto* inspect = std::get_if<vesk::InspectCommand>(&command)) {
        vesk::Report report = vesk::InspectSetup(inspect->setup);
        if (inspect->json)
            report.PrintJson(std::cout);
        else
            report.PrintText(std::cout);
    } else if (auto* verify = std::get_if<vesk::VerifyCommand>(&command)) {
        return Verify(*verify);
    } else if (auto* unpack = std::get_if<vesk::UnpackCommand>(&command)) {
        vesk::Unpack(unpack->setup, unpack->directory, unpack->force);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(vesk::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const vesk::UsageError& failure) {
        std::cerr << "vesk: " << failure.what() << '\n';
        return vesk::kExitUsage;
    } catch (const std::exception& failure) {
        std::cerr << "vesk: " << failure.what() << '\n';
        return vesk::kExitFailure;
    }
}

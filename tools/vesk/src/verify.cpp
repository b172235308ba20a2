#include "verify.h"

#include <cstdio>

#include "payload_copy.h"
#include "setup_file.h"
#include "signing.h"
#include "unpacked_names.h"

namespace vesk {

std::string HexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::vector<std::string> VerifySetup(const std::filesystem::path& path, SignatureReport* signature,
                                     const std::optional<std::filesystem::path>& caFile) {
    const SetupFile setup = OpenSetup(path);
    const InputFile& file = *setup.file;
    std::vector<std::string> problems = PartsPastEnd(setup.image, file.Size());
    for (std::string& problem : LayoutProblems(setup.image)) problems.push_back(std::move(problem));
    if (!setup.embedded) {
        problems.push_back(VESK_SECTION_NAME " holds only the placeholder: not a packed setup");
        return problems;
    }

    const ContainerHeader& header = setup.head->header;
    for (const std::string& problem : PayloadProblems(setup)) problems.push_back(problem);
    if (auto problem = StoredProductNameProblem(StoredText(setup.head->strings[0]), TextCodePage(header)))
        problems.push_back(*problem);
    for (const PayloadInfo& p : setup.payloads) {
        if (PayloadExtentProblem(setup, p)) continue;
        uint32_t computed = CopyWithCrc(file, p.offset, p.storedSize - PAYLOAD_TRAILER_SIZE, nullptr,
                                        "checking " + std::string(NamesOf(p.id).name));
        uint32_t stored = *ReadTrailer(file, p);
        if (computed != stored)
            problems.push_back(std::string(NamesOf(p.id).name) + " payload CRC-32 is " + HexWord(computed) + ", stored " +
                               HexWord(stored));
    }
    if (header.expectedFileSize != 0 && header.expectedFileSize != file.Size())
        problems.push_back(SizeMismatch(setup));
    const uint32_t checkSum = ComputeFileCheckSum(file, setup.image.CheckSumOffset());
    if (checkSum != setup.image.checkSum)
        problems.push_back("header CheckSum " + HexWord(setup.image.checkSum) + " does not match the file's " +
                           HexWord(checkSum));
    const SignatureReport report = CheckSignature(setup, caFile);
    if (report.problem) problems.push_back(*report.problem);
    if (signature) *signature = report;
    return problems;
}

}  // namespace vesk

// Signing a setup with osslsigncode so that it keeps its own size check:
// the signature grows the file, so the recorded size is set to the signed
// size and the setup signed again, until the size no longer changes. And
// what verify says about a setup's signature.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "setup_file.h"

namespace vesk {

// Long enough for a slow timestamp server, short enough that a dead one
// cannot hold a build for ever.
inline constexpr unsigned kDefaultSignTimeout = 180;

struct SigningRequest {
    std::filesystem::path certificate;  // PEM or DER certificate (chain), or a PKCS#12 file with its key
    std::filesystem::path key;          // its private key; empty with a PKCS#12 file
    std::optional<std::filesystem::path> passwordFile;
    std::optional<std::string> timestampUrl;
    unsigned timeoutSeconds = kDefaultSignTimeout;  // for each run of osslsigncode
    bool nested = false;  // a SHA-1 signature with a SHA-256 one nested into it
};

// A .pfx or .p12 file, which holds the certificate and its key together.
bool IsPkcs12File(const std::filesystem::path& file);

// A directory for the unsigned and signed setups, removed with everything
// in it when this goes, or when a signal ends the tool. One at a time.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::filesystem::path Path(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Fails early, before anything is packed, when osslsigncode is missing or
// SOURCE_DATE_EPOCH is not a time.
void RequireSigningTool();

// unsignedSetup: a packed setup whose container records its size at
// sizeFieldOffset (0 there: no size check). Writes the signed setup to
// output, or nothing on failure; output must not be one of the inputs.
// Returns its size. SOURCE_DATE_EPOCH, when set, is the signing time, so
// that the same inputs sign to the same bytes. A certificate that is not
// valid now is refused, or only warned about when a timestamp server
// countersigns.
uint64_t SignSetup(const std::filesystem::path& unsignedSetup, const std::filesystem::path& output,
                   const std::vector<std::filesystem::path>& inputs, const SigningRequest& request,
                   uint64_t sizeFieldOffset);

// verify's and inspect's view of a signature: what it is, a problem when
// the file no longer matches it, and who signed it when.
struct SignatureReport {
    std::string state;
    std::optional<std::string> problem;
    std::optional<std::string> signer;       // the signing certificate's subject
    std::optional<std::string> signingTime;  // as osslsigncode prints it
    std::optional<std::string> validFrom;    // the signing certificate's validity period
    std::optional<std::string> validUntil;
};
// caFile: check the chain against these certificates (PEM) instead of the
// system's; a chain that does not lead to one is then a problem.
SignatureReport CheckSignature(const SetupFile& setup,
                               const std::optional<std::filesystem::path>& caFile = std::nullopt);

// The line for a file whose size differs from the recorded one, saying so
// plainly when a signature was appended, replaced or nested after packing.
std::string SizeMismatch(const SetupFile& setup);

}  // namespace vesk

#include "pack.h"

#include <algorithm>

#include "branding.h"
#include "byte_order.h"
#include "escaped_text.h"
#include "failure.h"
#include "input_file.h"
#include "output_file.h"
#include "payloads.h"
#include "payload_copy.h"
#include "pe_image.h"
#include "pe_rewrite.h"
#include "stub_location.h"
#include "verify.h"

namespace vesk {

namespace {

struct Payload {
    PayloadId id;
    std::unique_ptr<InputFile> file;
    uint32_t crc = 0;
    uint8_t digest[SHA256_DIGEST_SIZE] = {};
    const char* Label() const { return NamesOf(id).label; }
};

std::vector<uint8_t> ReadWhole(const InputFile& file) {
    if (file.Size() > CONTAINER_MAX_FILE_SIZE) throw Failure(file.Name(), "too large for a stub");
    std::vector<uint8_t> bytes(file.Size());
    if (file.ReadAt(0, bytes) != bytes.size()) throw Failure(file.Name(), "changed while being read");
    return bytes;
}

uint32_t StoredSize(const InputFile& file) {
    uint64_t stored = file.Size() + PAYLOAD_TRAILER_SIZE;
    if (stored > CONTAINER_MAX_FILE_SIZE)
        throw Failure(file.Name(), std::to_string(file.Size()) + " bytes; a setup must stay below 2 GiB");
    return static_cast<uint32_t>(stored);
}

// Every file the pack reads, none of which its output may replace.
std::vector<std::filesystem::path> PackInputs(const PackOptions& options, const PackPlan& plan, const InputFile& stub,
                                              const std::vector<Payload>& payloads) {
    std::vector<std::filesystem::path> inputs = {stub.Name()};
    if (options.request.settingsFile) inputs.push_back(*options.request.settingsFile);
    for (const Payload& p : payloads) inputs.push_back(p.file->Name());
    for (const auto& picture : {plan.branding.splash, plan.branding.icon})
        if (picture) inputs.push_back(*picture);
    if (options.signing) {
        inputs.push_back(options.signing->certificate);
        if (!options.signing->key.empty()) inputs.push_back(options.signing->key);
        if (options.signing->passwordFile) inputs.push_back(*options.signing->passwordFile);
    }
    return inputs;
}

// The digest record (format/container_layout.h): the head's SHA-256, then each
// payload's in container order, that of no bytes for one not stored.
std::vector<uint8_t> DigestRecord(const std::vector<uint8_t>& head, const std::vector<Payload>& payloads) {
    std::vector<uint8_t> record(DIGEST_RECORD_SIZE);
    auto digestAt = [&record](DigestIndex index, const uint8_t* data, size_t size) {
        Sha256 sha;
        Sha256Start(&sha);
        Sha256Add(&sha, data, static_cast<uint32_t>(size));
        Sha256Finish(&sha, record.data() + index * DIGEST_SIZE);
    };
    // Signing writes the signed size into the head later: digested as 0.
    std::vector<uint8_t> unsized = head;
    Store32(unsized.data() + offsetof(ContainerHeader, expectedFileSize), 0);
    digestAt(DIGEST_HEAD, unsized.data(), unsized.size());
    for (DigestIndex index : {DIGEST_RUNTIME_9X, DIGEST_RUNTIME_NT, DIGEST_PRODUCT}) digestAt(index, nullptr, 0);
    for (const Payload& p : payloads)
        std::copy_n(p.digest, DIGEST_SIZE, record.begin() + NamesOf(p.id).digest * DIGEST_SIZE);
    return record;
}

}  // namespace

void Pack(const PackOptions& options) {
    if (options.signing) {
        RequireSigningTool();
        InputFile certificate(options.signing->certificate);  // names a missing file as such
        if (!options.signing->key.empty()) InputFile key(options.signing->key);
    }
    PackPlan plan = ResolvePackSettings(options.request);
    ContainerFields& fields = plan.fields;
    Detail("product " + Escaped(plan.product.string()) + ": ProductCode " + fields.productCode + ", ProductVersion " +
           Quoted(plan.branding.productVersion) + ", ProductName " + Quoted(plan.branding.productName) +
           ", texts in code page " + std::to_string(fields.header.textCodePage));

    // The stub must be of the arch asked for, when both are given.
    const InputFile stubFile(options.stub ? *options.stub
                                          : DefaultStubPath(plan.arch ? plan.arch->arch : StubArch::X86));
    std::vector<uint8_t> stub = ReadWhole(stubFile);
    PeImage image = ParsePeImage(stub, stubFile.Name());
    if (plan.arch && image.arch != plan.arch->arch)
        throw Failure(stubFile.Name(), std::string("an ") + ArchName(image.arch) + " stub, where " +
                                           plan.arch->origin + " asks for " + ArchName(plan.arch->arch));
    Detail("stub " + Escaped(stubFile.Name()) + ": " + ArchName(image.arch) + ", " + std::to_string(stub.size()) + " bytes");
    if (auto problems = PartsPastEnd(image, stub.size()); !problems.empty()) throw Failure(stubFile.Name(), problems[0]);
    BrandStub(stub, image, plan.branding, options.output.filename().string(), stubFile.Name());

    // The container's order: 95/98 runtime, NT runtime, product.
    std::vector<Payload> payloads;
    if (plan.runtime9X) payloads.push_back({PayloadId::Runtime9X, std::make_unique<InputFile>(*plan.runtime9X)});
    if (plan.runtimeNT) payloads.push_back({PayloadId::RuntimeNT, std::make_unique<InputFile>(*plan.runtimeNT)});
    payloads.push_back({PayloadId::Product, std::make_unique<InputFile>(plan.product)});
    uint64_t containerSize = 0;
    for (Payload& p : payloads) {
        uint32_t& storedSize = fields.header.*NamesOf(p.id).storedSize;
        storedSize = StoredSize(*p.file);
        containerSize += storedSize;
        // The digests go into the resources, which precede the payloads in the file.
        p.crc = CopyWithCrc(*p.file, 0, p.file->Size(), nullptr, std::string("reading ") + p.Label(), p.digest);
    }
    const std::string settingsName =
        options.request.settingsFile ? options.request.settingsFile->string() : "settings";
    containerSize += EncodeContainerHead(fields, settingsName).size();

    PeRewrite rewrite = PlanPeRewrite(stub, image, containerSize, stubFile.Name());
    if (rewrite.fileSize > CONTAINER_MAX_FILE_SIZE)
        throw Failure(options.output.string(), "the setup would be " + std::to_string(rewrite.fileSize) +
                                                   " bytes; it must stay below 2 GiB");
    fields.header.expectedFileSize = plan.sizeCheck ? static_cast<uint32_t>(rewrite.fileSize) : 0;
    const std::vector<uint8_t> head = EncodeContainerHead(fields, settingsName);
    // A record of the same size leaves every offset as planned; the plan is
    // made again only for the bytes it copies.
    PutDigestRecord(stub, image, DigestRecord(head, payloads), stubFile.Name());
    rewrite = PlanPeRewrite(stub, image, containerSize, stubFile.Name());

    // A setup to sign is written to a scratch file; signing writes the output.
    const std::vector<std::filesystem::path> inputs = PackInputs(options, plan, stubFile, payloads);
    std::optional<ScratchDirectory> scratch;
    const std::filesystem::path target = options.signing ? scratch.emplace().Path("unsigned.exe") : options.output;
    OutputFile out(target, inputs);
    out.Write(rewrite.head);
    for (const ByteRange& range : rewrite.tail)
        out.Write(std::span(stub).subspan(static_cast<size_t>(range.offset), static_cast<size_t>(range.size)));
    out.WriteZeros(rewrite.padding);
    out.Write(head);
    for (Payload& p : payloads) {
        uint8_t trailer[PAYLOAD_TRAILER_SIZE];
        uint8_t digest[SHA256_DIGEST_SIZE];
        const uint32_t crc =
            CopyWithCrc(*p.file, 0, p.file->Size(), &out, std::string("packing ") + p.Label(), digest);
        if (crc != p.crc || !std::equal(digest, digest + SHA256_DIGEST_SIZE, p.digest))
            throw Failure(p.file->Name(), "changed while being read");
        Detail(std::string(p.Label()) + " " + Escaped(p.file->Name()) + ": " + std::to_string(p.file->Size()) + " bytes, CRC-32 " +
               HexWord(crc));
        Store32(trailer, crc);
        out.Write(trailer);
    }
    out.WriteZeros(rewrite.payloadRawSize - containerSize);

    uint8_t checkSum[4];
    Store32(checkSum, out.Checksum().Finish(out.Size()));
    out.Patch(rewrite.checkSumOffset, checkSum);
    out.Commit(true);
    const uint64_t size = options.signing ? SignSetup(target, options.output, inputs, *options.signing,
                                                      rewrite.containerOffset + offsetof(ContainerHeader, expectedFileSize))
                                          : out.Size();
    std::string contents;
    for (const Payload& p : payloads)
        contents += std::string(", ") + p.Label() + " " + std::to_string(p.file->Size()) + " bytes";
    Say("wrote " + Escaped(options.output.string()) + " (" + std::to_string(size) + " bytes): stub " + Escaped(stubFile.Name()) + " (" +
        ArchName(image.arch) + ")" + contents + (options.signing ? ", signed" : ", not signed"));
}

}  // namespace vesk

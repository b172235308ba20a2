#include "describe_setup.h"

#include "describe_resources.h"
#include "settings_keys.h"
#include "setup_file.h"
#include "signing.h"
#include "text_encoding.h"
#include "version_text.h"

namespace vesk {

namespace {

constexpr const char* kStringNames[CONTAINER_STRING_COUNT] = {"productFileName", "productCode",
                                                              "productVersion", "transformBase"};

// A stored text as UTF-8 where it reads in the setup's code page, else as
// stored (shown with escapes).
std::string Shown(const std::string& stored, unsigned codePage) {
    return FromCodePage(stored, codePage).value_or(stored);
}

Report DescribePe(const SetupFile& setup) {
    const PeImage& image = setup.image;
    Report pe = Report::Object();
    pe.AddText("architecture", ArchName(image.arch))
        .AddText("format", image.arch == StubArch::X64 ? "PE32+" : "PE32")
        .Add("peHeaderOffset", image.peOffset)
        .Add("fileAlignment", image.fileAlignment)
        .Add("sizeOfHeaders", image.sizeOfHeaders)
        .Add("sizeOfInitializedData", image.sizeOfInitializedData)
        .Add("checkSum", image.checkSum, true)
        .Add("computedCheckSum", ComputeFileCheckSum(*setup.file, image.CheckSumOffset()), true)
        .Add("certificateOffset", image.certificateOffset)
        .Add("certificateSize", image.certificateSize);
    Report sections = Report::Array();
    for (const PeSection& s : image.sections) {
        Report section = Report::Object();
        section.AddText("name", s.name)
            .Add("virtualAddress", s.virtualAddress, true)
            .Add("virtualSize", s.virtualSize)
            .Add("pointerToRawData", s.pointerToRawData)
            .Add("sizeOfRawData", s.sizeOfRawData);
        sections.Push(std::move(section));
    }
    pe.Add("sections", std::move(sections));
    return pe;
}

Report DescribeContainer(const SetupFile& setup) {
    const StoredHead& head = *setup.head;
    const ContainerHeader& h = head.header;
    const unsigned codePage = TextCodePage(h);
    Report container = Report::Object();
    Report header = Report::Object();
#define DESCRIBE_HEADER_WORD(field, hex) header.Add(#field, h.field, hex);
    CONTAINER_HEADER_FIELDS(DESCRIBE_HEADER_WORD, DESCRIBE_HEADER_WORD)
#undef DESCRIBE_HEADER_WORD
    header.AddText("runtimeVersion", FormatVersionText({h.requiredRuntimeMS, h.requiredRuntimeLS}));
    container.Add("header", std::move(header));

    Report strings = Report::Object();
    for (size_t i = 0; i < CONTAINER_STRING_COUNT; ++i) {
        Report s = Report::Object();
        s.Add("length", head.strings[i].size()).AddText("text", Shown(StoredText(head.strings[i]), codePage));
        strings.Add(kStringNames[i], std::move(s));
    }
    container.Add("strings", std::move(strings));

    Report descriptor = Report::Array();
    for (uint8_t d : head.descriptor) descriptor.Push(Report::Number(d));
    container.Add("descriptor", std::move(descriptor));
    container.Add("fontCharSet", head.descriptor[DESCRIPTOR_FONT_CHARSET])
        .Add("fontPointSize", head.descriptor[DESCRIPTOR_FONT_POINT_SIZE]);

    const auto block = SplitTextBlock(head.textBlock);
    Report textBlock = Report::Object();
    textBlock.Add("length", head.textBlock.size())
        .AddText("fontFace", Shown(block[0], codePage))
        .AddText("productName", Shown(block[1], codePage))
        .AddText("initLine", Shown(block[2], codePage));
    container.Add("textBlock", std::move(textBlock));
    container.Add("textTableOffset", head.textTableOffset);

    Report texts = Report::Array();
    uint64_t textOffset = head.textTableOffset;
    for (size_t i = 0; i < kTextCount; ++i) {
        Report text = Report::Object();
        text.Add("messageId", MESSAGE_ID_FIRST + i)
            .AddText("key", TextKey(i))
            .Add("offset", textOffset)
            .Add("length", head.texts[i].size())
            .AddText("text", Shown(StoredText(head.texts[i]), codePage));
        texts.Push(std::move(text));
        textOffset += head.texts[i].size();
    }
    container.Add("texts", std::move(texts));

    Report payloads = Report::Array();
    for (const PayloadInfo& p : setup.payloads) {
        Report payload = Report::Object();
        payload.AddText("name", NamesOf(p.id).name)
            .Add("fileOffset", p.offset)
            .Add("containerOffset", p.offset - setup.containerOffset)
            .Add("storedSize", p.storedSize);
        if (auto crc = ReadTrailer(*setup.file, p)) payload.Add("storedCrc", *crc, true);
        payloads.Push(std::move(payload));
    }
    container.Add("payloads", std::move(payloads));
    return container;
}

}  // namespace

Report InspectSetup(const std::filesystem::path& path) {
    const SetupFile setup = OpenSetup(path);
    const PeSection& section = setup.PayloadSection();
    Report report = Report::Object();
    report.AddText("file", setup.file->Name()).Add("fileSize", setup.file->Size());
    report.Add("pe", DescribePe(setup));
    Report payloadSection = Report::Object();
    payloadSection.Add("pointerToRawData", section.pointerToRawData)
        .Add("sizeOfRawData", section.sizeOfRawData)
        .Add("virtualSize", section.virtualSize)
        .AddText("mode", setup.embedded ? "embedded" : "side-file");
    report.Add("payloadSection", std::move(payloadSection));
    if (setup.head) report.Add("container", DescribeContainer(setup));
    if (auto resources = DescribeResources(setup)) report.Add("resources", std::move(*resources));
    const SignatureReport signature = CheckSignature(setup);
    Report signing = Report::Object();
    signing.AddText("state", signature.state);
    if (signature.problem) signing.AddText("problem", *signature.problem);
    if (signature.signer) signing.AddText("signer", *signature.signer);
    if (signature.signingTime) signing.AddText("signingTime", *signature.signingTime);
    if (signature.validFrom) signing.AddText("validFrom", *signature.validFrom);
    if (signature.validUntil) signing.AddText("validUntil", *signature.validUntil);
    report.Add("signature", std::move(signing));
    return report;
}

}  // namespace vesk

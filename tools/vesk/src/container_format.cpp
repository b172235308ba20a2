#include "container_format.h"

#include "byte_order.h"
#include "failure.h"
#include "text_encoding.h"
#include "settings_keys.h"

namespace vesk {

namespace {

// The field after the text block, which the setup reads past: one NUL.
constexpr uint8_t kSkippedField[] = {0};

uint8_t StoredLength(const std::string& text, size_t field, const std::string& what,
                     const std::string& input) {
    if (text.size() > STORED_TEXT_MAX(field))
        throw Failure(input, what + " is " + std::to_string(text.size()) + " bytes; at most " +
                                 std::to_string(STORED_TEXT_MAX(field)) + " fit");
    return static_cast<uint8_t>(text.size() + 1);
}

void Append(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

class ByteCursor {
public:
    ByteCursor(std::span<const uint8_t> bytes, const std::string& input) : bytes_(bytes), input_(input) {}
    std::span<const uint8_t> Take(size_t count) {
        if (count > bytes_.size() - at_) throw Failure(input_, "container ends inside its header");
        auto piece = bytes_.subspan(at_, count);
        at_ += count;
        return piece;
    }
    std::string TakeText(size_t count) {
        auto piece = Take(count);
        return std::string(piece.begin(), piece.end());
    }
    size_t Position() const { return at_; }

private:
    std::span<const uint8_t> bytes_;
    const std::string& input_;
    size_t at_ = 0;
};

}  // namespace

std::vector<uint8_t> EncodeContainerHead(const ContainerFields& f, const std::string& input) {
    const uint8_t lengths[] = {
        StoredLength(f.productFileName, PRODUCT_FILE_NAME_FIELD, "product file name", input),
        StoredLength(f.productCode, PRODUCT_CODE_FIELD, "product code", input),
        StoredLength(f.productVersion, PRODUCT_VERSION_FIELD, "product version", input),
        StoredLength(f.transformBase, TRANSFORM_BASE_FIELD, "transform base", input)};
    size_t blockLength = 0;
    for (auto part : kTextBlockParts) blockLength += (f.*part).size() + 1;
    if (blockLength > STORED_STRING_MAX)
        throw Failure(input, "text block (font face, product name, init line) is " +
                                 std::to_string(blockLength) + " bytes with its NULs; at most 255 fit");

    std::vector<uint8_t> out(CONTAINER_HEADER_SIZE);
#define STORE_HEADER_WORD(field, hex) Store32(out.data() + offsetof(ContainerHeader, field), f.header.field);
    CONTAINER_HEADER_FIELDS(STORE_HEADER_WORD, STORE_HEADER_WORD)
#undef STORE_HEADER_WORD
    out.insert(out.end(), std::begin(lengths), std::end(lengths));
    Append(out, f.productFileName);
    Append(out, f.productCode);
    Append(out, f.productVersion);
    Append(out, f.transformBase);

    std::array<uint8_t, CONTAINER_DESCRIPTOR_SIZE> descriptor{};
    for (size_t i = 0; i < kDescriptorSettings.size(); ++i) descriptor[i] = f.*kDescriptorSettings[i];
    descriptor[DESCRIPTOR_TEXT_BLOCK_LENGTH] = static_cast<uint8_t>(blockLength);
    descriptor[DESCRIPTOR_SKIPPED_LENGTH] = sizeof kSkippedField;
    for (size_t i = 0; i < kTextCount; ++i)
        descriptor[DESCRIPTOR_FIRST_TEXT_LENGTH + i] =
            StoredLength(f.texts[i], TEXT_FIELD, std::string(TextKey(i)) + " text", input);
    out.insert(out.end(), descriptor.begin(), descriptor.end());

    for (auto part : kTextBlockParts) Append(out, f.*part);
    out.insert(out.end(), std::begin(kSkippedField), std::end(kSkippedField));
    for (const std::string& text : f.texts) Append(out, text);
    return out;
}

StoredHead DecodeContainerHead(std::span<const uint8_t> bytes, const std::string& input) {
    StoredHead head;
    ByteCursor cursor(bytes, input);
    auto words = cursor.Take(CONTAINER_HEADER_SIZE);
#define LOAD_HEADER_WORD(field, hex) head.header.field = Load32(&words[offsetof(ContainerHeader, field)]);
    CONTAINER_HEADER_FIELDS(LOAD_HEADER_WORD, LOAD_HEADER_WORD)
#undef LOAD_HEADER_WORD
    auto lengths = cursor.Take(CONTAINER_STRING_COUNT);
    for (size_t i = 0; i < CONTAINER_STRING_COUNT; ++i) head.strings[i] = cursor.TakeText(lengths[i]);
    auto descriptor = cursor.Take(CONTAINER_DESCRIPTOR_SIZE);
    std::copy(descriptor.begin(), descriptor.end(), head.descriptor.begin());
    head.textBlock = cursor.TakeText(head.descriptor[DESCRIPTOR_TEXT_BLOCK_LENGTH]);
    head.skipped = cursor.TakeText(head.descriptor[DESCRIPTOR_SKIPPED_LENGTH]);
    head.textTableOffset = static_cast<uint32_t>(cursor.Position());
    for (size_t i = 0; i < kTextCount; ++i)
        head.texts[i] = cursor.TakeText(head.descriptor[DESCRIPTOR_FIRST_TEXT_LENGTH + i]);
    head.size = static_cast<uint32_t>(cursor.Position());
    return head;
}

unsigned TextCodePage(const ContainerHeader& header) {
    return IsAnsiCodePage(header.textCodePage) ? header.textCodePage : kDefaultCodePage;
}

std::string StoredText(const std::string& raw) {
    return raw.substr(0, raw.find('\0'));
}

std::array<std::string, 3> SplitTextBlock(const std::string& raw) {
    std::array<std::string, 3> parts;
    size_t at = 0;
    for (std::string& part : parts) {
        if (at >= raw.size()) break;
        size_t end = raw.find('\0', at);
        if (end == std::string::npos) end = raw.size();
        part = raw.substr(at, end - at);
        at = end + 1;
    }
    return parts;
}

}  // namespace vesk

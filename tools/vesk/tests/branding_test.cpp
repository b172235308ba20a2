// The builder's splash picture and icon: which files fit, the one-line
// refusals of the rest, and pack, inspect and unpack with them on both stubs.
#include <gtest/gtest.h>
#include <zlib.h>

#include "byte_order.h"
#include "failure.h"
#include "icon_file.h"
#include "icon_layout.h"
#include "splash_picture.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

struct BmpShape {
    int32_t width = 40;
    int32_t height = 30;
    uint16_t bitCount = 4;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t colours = 16;  // biClrUsed; the table holds this many (16 when 0)
};

// A BMP file as painting programs write one, with recognisable pixels.
std::vector<uint8_t> MakeBmp(const BmpShape& shape = {}) {
    const uint32_t table = 4 * (shape.colours == 0 ? 16 : shape.colours);
    const uint32_t row = (static_cast<uint32_t>(std::abs(shape.width)) * shape.bitCount + 31) / 32 * 4;
    const uint32_t pixels = 14 + shape.headerSize + table;
    std::vector<uint8_t> b(pixels + row * static_cast<uint32_t>(std::abs(shape.height)));
    b[0] = 'B';
    b[1] = 'M';
    Store32(&b[2], static_cast<uint32_t>(b.size()));
    Store32(&b[10], pixels);
    Store32(&b[14], shape.headerSize);
    Store32(&b[18], static_cast<uint32_t>(shape.width));
    Store32(&b[22], static_cast<uint32_t>(shape.height));
    Put16(b, 26, 1);
    Put16(b, 28, shape.bitCount);
    Store32(&b[30], shape.compression);
    Store32(&b[46], shape.colours);
    for (uint32_t i = 0; i < table; ++i) b[14 + shape.headerSize + i] = static_cast<uint8_t>(i * 7);
    for (size_t i = pixels; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 13);
    return b;
}

// A bitmap icon image of side pixels (0 for 256), 4 bits per pixel.
std::vector<uint8_t> IconBitmap(uint32_t side) {
    std::vector<uint8_t> image(40 + 64 + side * side / 2 + side * ((side + 31) / 32 * 4));
    Store32(&image[0], 40);
    Store32(&image[4], side);
    Store32(&image[8], side * 2);
    Put16(image, 12, 1);
    Put16(image, 14, 4);
    for (size_t i = 40; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 5 + side);
    return image;
}

// A PNG of its IHDR and IEND chunks, each with its CRC-32.
std::vector<uint8_t> IconPng(uint32_t side) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto putBig32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
    };
    auto chunk = [&](const char* type, std::vector<uint8_t> data) {
        putBig32(static_cast<uint32_t>(data.size()));
        const size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        putBig32(static_cast<uint32_t>(crc32(0, &png[start], static_cast<uInt>(png.size() - start))));
    };
    std::vector<uint8_t> header;
    for (uint32_t v : {side, side})
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<uint8_t>(v >> shift));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", header);
    chunk("IEND", {});
    return png;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes) {
    bytes.pop_back();
    return bytes;
}

// A 32 x 32 bitmap image with one field of its header changed.
std::vector<uint8_t> IconBitmapWith(size_t offset, uint32_t value, size_t width) {
    std::vector<uint8_t> image = IconBitmap(32);
    for (size_t i = 0; i < width; ++i) image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return image;
}

std::vector<uint8_t> MakeIco(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& images, uint16_t type = 1) {
    std::vector<IconImage> list;
    for (const auto& [side, data] : images) list.push_back({side, side, 16, 0, 1, 4, data});
    std::vector<uint8_t> file = IcoFromIcon(list);
    Put16(file, 2, type);
    return file;
}

std::string Refusal(const std::vector<uint8_t>& bytes, bool icon) {
    try {
        if (icon)
            IconFromIco(bytes, "art");
        else
            SplashFromBmp(bytes, "art");
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "";
}

TEST(SplashPicture, A16ColourBmpBecomesResource111AndComesBackTheSame) {
    const std::vector<uint8_t> file = MakeBmp();
    const std::vector<uint8_t> resource = SplashFromBmp(file, "splash.bmp");
    ASSERT_EQ(resource.size(), file.size() - 14) << "the file without its 14-byte file header";
    EXPECT_TRUE(std::equal(resource.begin(), resource.end(), file.begin() + 14));
    EXPECT_EQ(BmpFromSplash(resource), file);
    EXPECT_EQ(SplashSize(resource)->width, 40);
    EXPECT_EQ(SplashSize(resource)->height, 30);
}

TEST(SplashPicture, AShortColourTableIsFilledUpToSixteen) {
    // ImageMagick writes only the colours an image uses.
    const std::vector<uint8_t> file = MakeBmp({.colours = 5});
    const std::vector<uint8_t> resource = SplashFromBmp(file, "splash.bmp");
    ASSERT_EQ(resource.size(), 40u + 64u + 20u * 30u) << "rows of 40 pixels take 20 bytes";
    EXPECT_EQ(Load32(&resource[32]), 16u);
    EXPECT_EQ(resource[40 + 19], file[54 + 19]) << "the five colours kept";
    EXPECT_EQ(resource[40 + 20], 0) << "the rest black";
    EXPECT_EQ(resource[104], file[54 + 20]) << "the rows right after the full table, where the setup reads them";
    EXPECT_EQ(SplashFromBmp(BmpFromSplash(resource), "again"), resource);
}

TEST(SplashPicture, EverythingElseIsRefusedWithWhatItIsAndHowToMakeOne) {
    std::vector<uint8_t> cut = MakeBmp();
    cut.resize(cut.size() - 1);
    std::vector<uint8_t> gap = MakeBmp();
    Store32(&gap[10], 200);
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {{0x89, 'P', 'N', 'G', 0, 0}, "a PNG picture"},
        {{0xFF, 0xD8, 0xFF, 0xE0}, "a JPEG picture"},
        {{'G', 'I', 'F', '8', '9', 'a'}, "a GIF picture"},
        {MakeBmp({.bitCount = 24}), "a BMP of 24 bits per pixel"},
        {MakeBmp({.bitCount = 8, .colours = 256}), "a BMP of 8 bits per pixel"},
        {MakeBmp({.compression = 2}), "RLE4-compressed"},
        {MakeBmp({.headerSize = 124}), "124-byte (version 5) header"},
        {MakeBmp({.height = -30}), "top-down"},
        {MakeBmp({.width = 1025}), "1025 x 30 pixels"},
        {MakeBmp({.height = 769}), "40 x 769 pixels"},
        {MakeBmp({.colours = 17}), "17 colours"},
        {cut, "ends before its last pixel row"},
        {gap, "do not follow its colour table"},
        {{'B', 'M', 0}, "too short"},
    };
    for (const auto& [bytes, what] : cases) {
        const std::string problem = Refusal(bytes, false);
        EXPECT_NE(problem.find(what), std::string::npos) << what << ": " << problem;
        EXPECT_NE(problem.find("convert in.png"), std::string::npos) << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    }
    EXPECT_EQ(Refusal(MakeBmp({.width = 1024, .height = 768}), false), "") << "the largest that fits";
    EXPECT_EQ(Refusal(MakeBmp({.width = 1025}), false).find("-resize 1024x768") == std::string::npos, false);
}

TEST(IconFile, BitmapAndPngImagesUpTo256AreTakenAndWrittenBackTheSame) {
    const std::vector<uint8_t> file = MakeIco({{32, IconBitmap(32)}, {0, IconPng(256)}, {16, IconBitmap(16)}});
    const std::vector<IconImage> images = IconFromIco(file, "icon.ico");
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[1].width, 0) << "256 stored as 0";
    EXPECT_EQ(images[1].data, IconPng(256));
    EXPECT_EQ(IcoFromIcon(images), file);
}

TEST(IconFile, EverythingElseIsRefusedWithWhatItIs) {
    std::vector<uint8_t> outside = MakeIco({{32, IconBitmap(32)}});
    Store32(&outside[6 + 12], 5000);
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {MakeIco({{32, IconBitmap(32)}}, 2), "a cursor"},
        {{0x89, 'P', 'N', 'G', 0, 0}, "a PNG picture, not an .ico file"},
        {MakeBmp(), "a BMP picture"},
        {{0, 0, 1, 0, 0, 0}, "without images"},
        {MakeIco({{0, IconPng(512)}}), "512 x 512 pixels"},
        {MakeIco({{48, IconBitmap(32)}}), "32 x 32 pixels but listed as 48 x 48"},
        {MakeIco({{32, std::vector<uint8_t>(50, 7)}}), "neither a PNG nor a bitmap with a 40-byte header"},
        {MakeIco({{32, IconBitmapWith(0, 0xFFFFFFFF, 4)}}), "neither a PNG nor a bitmap with a 40-byte header"},
        {MakeIco({{32, IconBitmapWith(14, 0, 2)}}), "image 1 is a bitmap of 0 bits per pixel"},
        {MakeIco({{32, IconBitmapWith(14, 7, 2)}}), "image 1 is a bitmap of 7 bits per pixel"},
        {MakeIco({{32, IconBitmapWith(16, 2, 4)}}), "image 1 is a compressed bitmap (compression 2)"},
        {MakeIco({{32, Cut(IconBitmap(32))}}), "image 1 is a bitmap that ends before its last row"},
        {MakeIco({{0, Cut(IconPng(256))}}), "image 1 is a PNG cut short"},
        {outside, "lies outside the file"},
        {{1, 2, 3}, "not an .ico file"},
    };
    for (const auto& [bytes, what] : cases) {
        const std::string problem = Refusal(bytes, true);
        EXPECT_NE(problem.find(what), std::string::npos) << what << ": " << problem;
        EXPECT_NE(problem.find("convert in.png"), std::string::npos) << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    }
}

TEST(IconFile, ReplacingAGroupDropsItsOldImagesAndNumbersTheNewFromTheLowestFree) {
    ResourceTree tree;
    PutIconGroup(tree, 108, {{32, 32, 16, 0, 1, 4, IconBitmap(32)}});
    tree.Put({ResourceId::Number(kResourceIcon), ResourceId::Number(2), ResourceId::Number(0x409), 0, {9}});
    const std::vector<IconImage> images = {{16, 16, 16, 0, 1, 4, IconBitmap(16)},
                                           {48, 48, 16, 0, 1, 4, IconBitmap(48)},
                                           {0, 0, 0, 0, 1, 32, IconPng(256)}};
    PutIconGroup(tree, 108, images);
    const auto back = IconGroupImages(tree, 108);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(IcoFromIcon(*back), IcoFromIcon(images));
    const std::vector<uint8_t>& group = tree.Find(kResourceIconGroup, 108)->data;
    auto imageId = [&](size_t i) {
        return Load16(&group[sizeof(IconDirectory) + sizeof(IconGroupEntry) * i + offsetof(IconGroupEntry, id)]);
    };
    EXPECT_EQ(imageId(0), 1) << "the old image's number is free again";
    EXPECT_EQ(imageId(1), 3) << "2 belongs to another icon";
    EXPECT_EQ(imageId(2), 4);
    EXPECT_EQ(tree.Find(kResourceIcon, 2)->data, std::vector<uint8_t>{9}) << "another group's image stays";
    EXPECT_EQ(tree.items.size(), 5u) << "three images, the other icon, the group";
}

class Branded : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        ASSERT_FALSE(SampleMsi().empty()) << "wixl could not build the fixture MSI";
        std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
        WriteFile(Path("art.bmp"), MakeBmp({.width = 640, .height = 400}));
        WriteFile(Path("art.ico"), MakeIco({{32, IconBitmap(32)}, {0, IconPng(256)}}));
    }
    ToolRun Pack(const char* stub, std::vector<std::string> extra, const std::string& output = "setup.exe") {
        std::vector<std::string> args = {"pack", "--product", Path("sample.msi").string(), "--stub", stub,
                                         "-o", Path(output).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args);
    }
};

const char* const kStubs[] = {VESK_REAL_STUB, VESK_REAL_STUB_X64};

TEST_F(Branded, SplashAndIconPackInspectUnpackAndPackAgainOnBothStubs) {
    for (const char* stub : kStubs) {
        SCOPED_TRACE(stub);
        ToolRun pack = Pack(stub, {"--splash", Path("art.bmp").string(), "--icon", Path("art.ico").string()});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_EQ(RunTool({"verify", Path("setup.exe").string()}).exitCode, 0);
        ToolRun inspect = RunTool({"inspect", Path("setup.exe").string(), "--json"});
        ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
        EXPECT_NE(inspect.out.find("\"width\": 640"), std::string::npos) << inspect.out;
        EXPECT_NE(inspect.out.find("\"height\": 400"), std::string::npos);
        EXPECT_EQ(inspect.out.find("\"default\": \"yes\""), std::string::npos) << "neither is the default";

        std::filesystem::remove_all(Path("out"));
        ToolRun unpack = RunTool({"unpack", Path("setup.exe").string(), "-d", Path("out").string()});
        ASSERT_EQ(unpack.exitCode, 0) << unpack.err;
        EXPECT_EQ(ReadFile(Path("out") / "splash.bmp"), ReadFile(Path("art.bmp")));
        EXPECT_EQ(ReadFile(Path("out") / "icon.ico"), ReadFile(Path("art.ico")));
        ToolRun again = RunTool({"pack", (Path("out") / "setup.ini").string(), "--stub", stub, "-o", Path("again.exe").string()});
        ASSERT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(ReadFile(Path("again.exe")), ReadFile(Path("setup.exe"))) << "pack, unpack, pack: the same bytes";
    }
}

TEST_F(Branded, TheStubsOwnPictureAndIconReadAsTheDefault) {
    for (const char* stub : kStubs) {
        SCOPED_TRACE(stub);
        ASSERT_EQ(Pack(stub, {}).exitCode, 0);
        ToolRun inspect = RunTool({"inspect", Path("setup.exe").string()});
        EXPECT_NE(inspect.out.find("width: 300"), std::string::npos) << inspect.out;
        EXPECT_NE(inspect.out.find("height: 110"), std::string::npos);
        size_t defaults = 0;
        for (size_t at = 0; (at = inspect.out.find("default: \"yes\"", at)) != std::string::npos; ++at) ++defaults;
        EXPECT_EQ(defaults, 2u) << inspect.out;
        std::filesystem::remove_all(Path("out"));
        ASSERT_EQ(RunTool({"unpack", Path("setup.exe").string(), "-d", Path("out").string()}).exitCode, 0);
        EXPECT_FALSE(std::filesystem::exists(Path("out") / "splash.bmp")) << "the stub brings its own";
        EXPECT_FALSE(std::filesystem::exists(Path("out") / "icon.ico"));
    }
}

// The digest record goes into the resources: a stub without them cannot make
// a setup that runs, whatever else is asked for.
TEST_F(Branded, AStubWithoutResourcesIsRefused) {
    WriteStub({.dataDirectories = 2});  // no resource directory
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
             {}, {"--splash", Path("art.bmp").string()}, {"--execution-level", "asInvoker"}, {"--set", "VersionCompanyName=A"}}) {
        ToolRun run = Pack(Path("stub.exe").c_str(), extra);
        EXPECT_EQ(run.exitCode, 1) << (extra.empty() ? "plain" : extra[0]);
        EXPECT_NE(run.err.find("has no resource section"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    }
}

// The builder's picture is an input like any other: no output replaces it.
TEST_F(Branded, AnOutputThatIsThePictureIsRefused) {
    const auto art = ReadFile(Path("art.bmp"));
    ToolRun run = Pack(VESK_REAL_STUB, {"--splash", Path("art.bmp").string()}, "art.bmp");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "vesk: " + Path("art.bmp").string() + ": the same file as the input " + Path("art.bmp").string() +
                           "; give another output\n");
    EXPECT_EQ(ReadFile(Path("art.bmp")), art);
}

TEST_F(Branded, ABadPictureOrIconIsOneLineAndNoOutput) {
    WriteFile(Path("wide.bmp"), MakeBmp({.bitCount = 24}));
    WriteFile(Path("cursor.ico"), MakeIco({{32, IconBitmap(32)}}, 2));
    WriteText("settings.ini", "[VeskInstaller]\nProductFile=sample.msi\nSplash=wide.bmp\n");
    for (const char* stub : kStubs) {
        const std::vector<std::vector<std::string>> runs = {
            {"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o", Path("setup.exe").string(),
             "--splash", Path("wide.bmp").string()},
            {"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o", Path("setup.exe").string(),
             "--icon", Path("cursor.ico").string()},
            {"pack", Path("settings.ini").string(), "--stub", stub, "-o", Path("setup.exe").string()},
            {"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o", Path("setup.exe").string(),
             "--splash", Path("missing.bmp").string()}};
        for (const auto& args : runs) {
            ToolRun run = RunTool(args);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
        }
    }
    EXPECT_NE(RunTool({"pack", Path("settings.ini").string(), "--stub", VESK_REAL_STUB, "-o", Path("setup.exe").string()})
                  .err.find(Path("wide.bmp").string() + ": splash picture is a BMP of 24 bits per pixel"),
              std::string::npos)
        << "a key in the settings names the file relative to them";
}

}  // namespace
}  // namespace vesk::test

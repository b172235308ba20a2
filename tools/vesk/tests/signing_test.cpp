// Signing through vesk pack keeps the size check; verify tells a signed
// setup, a setup signed after packing and a setup changed after signing
// apart. Certificates and keys are made by openssl for each test, in the
// test's own scratch directory.
#include <gtest/gtest.h>

#include <cstdlib>

#include "byte_order.h"
#include "setup_file.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

class Signing : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        ASSERT_FALSE(SampleMsi().empty()) << "wixl could not build the fixture MSI";
        std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
        const std::string made = "cd '" + dir_.string() +
                                 "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                                 "-subj /CN=Vesk-Test >/dev/null 2>&1 && openssl genrsa -aes128 -passout pass:secret "
                                 "-out locked.pem 2048 >/dev/null 2>&1 && openssl req -x509 -new -key locked.pem "
                                 "-passin pass:secret -out locked-cert.pem -days 2 -subj /CN=Vesk-Test >/dev/null 2>&1";
        ASSERT_EQ(std::system(made.c_str()), 0) << "openssl could not make a test certificate";
        WriteText("pass.txt", "secret\n");
    }

    ToolRun Pack(const std::string& stub, std::vector<std::string> extra, const std::string& output = "setup.exe") {
        std::vector<std::string> args = {"pack", "--product", Path("sample.msi").string(), "--stub", stub,
                                         "-o", Path(output).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args);
    }
    std::vector<std::string> Sign(const std::string& cert = "cert.pem", const std::string& key = "key.pem") const {
        return {"--sign-cert", Path(cert).string(), "--sign-key", Path(key).string()};
    }
};

TEST_F(Signing, TheRecordedSizeIsTheSignedFilesOnBothStubs) {
    for (const char* stub : {VESK_REAL_STUB, VESK_REAL_STUB_X64}) {
        SCOPED_TRACE(stub);
        ToolRun pack = Pack(stub, Sign());
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        const SetupFile setup = OpenSetup(Path("setup.exe"));
        EXPECT_NE(setup.image.certificateSize, 0u) << "signed";
        EXPECT_EQ(setup.head->header.expectedFileSize, setup.file->Size());
        EXPECT_EQ(uint64_t{setup.image.certificateOffset} + setup.image.certificateSize, setup.file->Size());
        ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
        EXPECT_EQ(verify.exitCode, 0) << verify.err;
        EXPECT_NE(verify.out.find("OK (signed; the file matches its signature"), std::string::npos) << verify.out;
        EXPECT_EQ(Listing(), (std::vector<std::string>{"cert.pem", "key.pem", "locked-cert.pem", "locked.pem", "pass.txt",
                                                       "sample.msi", "setup.exe"}))
            << "nothing left beside the setup";
    }
}

// The signed setup replaces no file the signing reads.
TEST_F(Signing, AnOutputThatIsTheCertificateOrKeyIsRefused) {
    for (const char* file : {"cert.pem", "key.pem"}) {
        SCOPED_TRACE(file);
        const auto before = ReadFile(Path(file));
        ToolRun pack = Pack(VESK_REAL_STUB, Sign(), file);
        EXPECT_EQ(pack.exitCode, 1);
        EXPECT_EQ(pack.err, "vesk: " + Path(file).string() + ": the same file as the input " + Path(file).string() +
                                "; give another output\n");
        EXPECT_EQ(ReadFile(Path(file)), before);
    }
}

TEST_F(Signing, AKeyWithAPasswordFileAndNoSizeCheck) {
    ToolRun pack = Pack(VESK_REAL_STUB_X64, {"--sign-cert", Path("locked-cert.pem").string(), "--sign-key",
                                             Path("locked.pem").string(), "--sign-pass", Path("pass.txt").string(),
                                             "--no-size-check"});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    EXPECT_NE(setup.image.certificateSize, 0u);
    EXPECT_EQ(setup.head->header.expectedFileSize, 0u) << "signed once, no size recorded";
    EXPECT_EQ(RunTool({"verify", Path("setup.exe").string()}).exitCode, 0);
}

TEST_F(Signing, SigningAfterPackingIsReportedAsSuchWithTheWayOut) {
    ASSERT_EQ(Pack(VESK_REAL_STUB, {}, "plain.exe").exitCode, 0);
    const std::string sign = "osslsigncode sign -certs '" + Path("cert.pem").string() + "' -key '" + Path("key.pem").string() +
                             "' -in '" + Path("plain.exe").string() + "' -out '" + Path("later.exe").string() + "' >/dev/null";
    ASSERT_EQ(std::system(sign.c_str()), 0);
    ToolRun verify = RunTool({"verify", Path("later.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_NE(verify.err.find("bytes was appended after packing"), std::string::npos) << verify.err;
    EXPECT_NE(verify.err.find("--no-size-check"), std::string::npos);
    EXPECT_NE(verify.err.find("vesk pack --sign-cert"), std::string::npos);
}

TEST_F(Signing, ASetupChangedAfterSigningFailsVerify) {
    ASSERT_EQ(Pack(VESK_REAL_STUB, Sign()).exitCode, 0);
    std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    bytes[setup.payloads[0].offset + 10] ^= 0x20;
    WriteFile(Path("setup.exe"), bytes);
    ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_NE(verify.err.find("signature does not match the file"), std::string::npos) << verify.err;
}

TEST_F(Signing, BadCertificatesKeysAndPasswordsAreOneLineAndNoOutput) {
    WriteText("garbage.pem", "not a certificate\n");
    WriteText("wrong.txt", "wrong\n");
    const std::vector<std::vector<std::string>> cases = {
        Sign("garbage.pem", "key.pem"),
        Sign("cert.pem", "garbage.pem"),
        Sign("cert.pem", "missing.pem"),
        {"--sign-cert", Path("locked-cert.pem").string(), "--sign-key", Path("locked.pem").string(), "--sign-pass",
         Path("wrong.txt").string()},
        {"--sign-cert", Path("cert.pem").string()},
    };
    for (const auto& extra : cases) {
        ToolRun run = Pack(VESK_REAL_STUB, extra);
        EXPECT_EQ(run.exitCode, extra.size() == 2 ? 2 : 1) << extra[1] << ": a missing key is a usage error";
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    }
}

// SOURCE_DATE_EPOCH is the signing time: the same inputs sign to the same
// bytes, and inspect names the signer and that time.
TEST_F(Signing, WithSourceDateEpochTheSameInputsSignToTheSameBytes) {
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    std::vector<std::vector<uint8_t>> setups;
    for (const char* directory : {"a", "b"}) {
        std::filesystem::create_directory(Path(directory));
        ToolRun pack = Pack(VESK_REAL_STUB, Sign(), std::string(directory) + "/setup.exe");
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_NE(pack.err.find(", signed\n"), std::string::npos) << pack.err;
        setups.push_back(ReadFile(Path(directory) / "setup.exe"));
    }
    setenv("SOURCE_DATE_EPOCH", "soon", 1);
    ToolRun refused = Pack(VESK_REAL_STUB, Sign(), "c.exe");
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(setups[0], setups[1]);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "vesk: SOURCE_DATE_EPOCH: 'soon' is not a number of seconds since 1970\n");
    ToolRun inspect = RunTool({"inspect", (Path("a") / "setup.exe").string(), "--json"});
    EXPECT_NE(inspect.out.find("\"signer\": \"/CN=Vesk-Test\""), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("\"signingTime\": \"Nov 14 22:13:20 2023 GMT\""), std::string::npos) << inspect.out;
}

TEST_F(Signing, WithoutOsslsigncodeTheToolSaysHowToInstallIt) {
    const std::string path = std::getenv("PATH");
    setenv("PATH", dir_.c_str(), 1);
    ToolRun run = Pack(VESK_REAL_STUB, Sign());
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "vesk: vesk pack: osslsigncode is not installed; install it with: apt-get install osslsigncode\n");
    EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
}

}  // namespace
}  // namespace vesk::test

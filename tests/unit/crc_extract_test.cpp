// CRC-32 and copying stored payloads out of the container: chunks, progress
// positions, the splash giving way to the progress dialog, cancel, faults,
// and where the container's cursor is left.
#include <gtest/gtest.h>

#include <cstdio>

#include "format/sha256.h"

#include <optional>

#include <algorithm>
#include <string>
#include <vector>

#include "container/extract.h"
#include "container_fixture.h"
#include "pe_builder.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/memory.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui_fixture.h"

namespace {

constexpr LONG kLead = 4;  // bytes before the payload in the container file
constexpr const char* kOutPath = "C:\\Out\\product.msi";

struct Extraction {
    std::optional<ExtractResult> result;
    std::string written;
    LONG position = -1;  // container cursor afterwards, from the payload's start
    int chunks = 0;      // message pumps, one per chunk copied
};

class Extract : public UiTest {
protected:
    void StartOver() override {
        UiTest::StartOver();
        RegisterProgressClass();
        ASSERT_TRUE(BuildCrcTable());
        sim::files::MakeDirectory("C:\\Out");
    }

    // Stores the payload bytes after a lead and before a marker, and
    // extracts them as the callers do, into a new file.
    Extraction Run(const std::string& stored, LONG storedSize) {
        container_fixture::OpenContainer("LEAD" + stored + "NEXT");
        _llseek(g_run.containerFile, kLead, FILE_BEGIN);
        sim::files::Remove(kOutPath);
        HANDLE out = CreateNewFile(kOutPath);
        PumpMessages();  // what opening windows left queued, so each chunk's pump peeks once
        int peeksBefore = sim::PeekMessageCalls();
        Extraction e;
        e.result = ExtractPayload(out, storedSize);
        e.chunks = sim::PeekMessageCalls() - peeksBefore;
        e.position = container_fixture::Position() - kLead;
        CloseHandle(out);
        _lclose(g_run.containerFile);
        e.written = sim::files::Get(kOutPath);
        return e;
    }

    Extraction RunPayload(const std::string& data) {
        std::string stored = pe_builder::Payload(data);
        return Run(stored, LONG(stored.size()));
    }
};

DWORD Crc(const std::string& text) {
    UpdateCRC(nullptr, 0);
    return UpdateCRC(reinterpret_cast<const BYTE*>(text.data()), DWORD(text.size()));
}

// The CRC-32 bit by bit, straight from its definition.
DWORD BitwiseCrc(const BYTE* data, size_t length) {
    DWORD r = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        r ^= data[i];
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    }
    return ~r;
}

std::vector<BYTE> RandomBytes(size_t count, uint32_t seed) {
    std::vector<BYTE> bytes(count);
    for (BYTE& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = BYTE(seed >> 24);
    }
    return bytes;
}

}  // namespace

TEST_F(Extract, CrcCheckValueWholeOrInPieces) {
    EXPECT_EQ(0xCBF43926u, Crc("123456789"));
    UpdateCRC(nullptr, 0);
    UpdateCRC(reinterpret_cast<const BYTE*>("1234"), 4);
    EXPECT_EQ(0xCBF43926u, UpdateCRC(reinterpret_cast<const BYTE*>("56789"), 5)) << "fed as 1234, 56789";
    EXPECT_EQ(0xCBF43926u, UpdateCRC(reinterpret_cast<const BYTE*>(""), 0)) << "length 0 changes nothing";
}

// FIPS 180-2's examples, the one-block and two-block messages and a million
// 'a's, fed whole and in pieces that cross block boundaries unevenly.
TEST(Sha256, FipsVectorsWholeOrInPieces) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    auto hex = [](const uint8_t* digest) {
        char text[2 * SHA256_DIGEST_SIZE + 1];
        for (unsigned i = 0; i < SHA256_DIGEST_SIZE; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
        return std::string(text);
    };
    for (const auto& [message, expected] : vectors) {
        for (size_t piece : {message.size() + 1, size_t(1), size_t(63), size_t(65)}) {
            Sha256 sha;
            Sha256Start(&sha);
            for (size_t at = 0; at < message.size(); at += piece)
                Sha256Add(&sha, reinterpret_cast<const uint8_t*>(message.data()) + at,
                          uint32_t(std::min(piece, message.size() - at)));
            uint8_t digest[SHA256_DIGEST_SIZE];
            Sha256Finish(&sha, digest);
            EXPECT_EQ(expected, hex(digest)) << message.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST_F(Extract, CrcNullPointerResetsAndReturnsZero) {
    Crc("abc");
    EXPECT_EQ(0u, UpdateCRC(nullptr, 12345));
    EXPECT_EQ(0xCBF43926u, UpdateCRC(reinterpret_cast<const BYTE*>("123456789"), 9)) << "the register starts afresh";
}

TEST_F(Extract, CrcWithoutTableStillRightAndARefusedTableIsReported) {
    sim::Reset();
    EXPECT_EQ(0xCBF43926u, Crc("123456789")) << "an outside caller before the table is built";
    sim::faults::FailEveryCallOf("GlobalAlloc");
    EXPECT_FALSE(BuildCrcTable()) << "its memory refused";
    EXPECT_EQ(0xCBF43926u, Crc("123456789"));
}

TEST_F(Extract, CrcMatchesTheBitwiseReference) {
    const std::vector<BYTE> bytes = RandomBytes(1 << 20, 7);
    for (size_t offset = 0; offset < 16; ++offset)
        for (size_t length = 0; length <= 64; ++length) {
            UpdateCRC(nullptr, 0);
            DWORD got = UpdateCRC(bytes.data() + offset, DWORD(length));
            ASSERT_EQ(BitwiseCrc(bytes.data() + offset, length), got) << "offset " << offset << ", length " << length;
        }
    const DWORD whole = BitwiseCrc(bytes.data(), bytes.size());
    UpdateCRC(nullptr, 0);
    EXPECT_EQ(whole, UpdateCRC(bytes.data(), DWORD(bytes.size()))) << "1 MiB at once";
    UpdateCRC(nullptr, 0);
    DWORD pieces = 0;
    uint32_t seed = 11;
    for (size_t done = 0; done < bytes.size();) {
        seed = seed * 1664525u + 1013904223u;
        size_t piece = std::min<size_t>(seed % 100, bytes.size() - done);
        pieces = UpdateCRC(bytes.data() + done, DWORD(piece));
        done += piece;
    }
    EXPECT_EQ(whole, pieces) << "1 MiB in pieces of 0 to 99 bytes";
    sim::Reset();
    UpdateCRC(nullptr, 0);
    EXPECT_EQ(whole, UpdateCRC(bytes.data(), DWORD(bytes.size()))) << "1 MiB without the table";
}

TEST_F(Extract, EmptyPayloadWithZeroTrailer) {
    OpenProgressDialog();
    Extraction e = Run(pe_builder::Dword(0), 4);
    EXPECT_EQ(EXTRACTED, e.result);
    EXPECT_EQ("", e.written);
    EXPECT_TRUE(sim::ProgressPositions().empty()) << "no chunk, no position";
    EXPECT_EQ(4, e.position) << "just past the trailer";
    CloseProgressDialog();
    ShowSplash();
    g_run.splashHold = FALSE;
    Run(pe_builder::Dword(0), 4);
    EXPECT_EQ(nullptr, g_run.progressDialog) << "an empty payload opens no dialog";
    EXPECT_NE(nullptr, g_run.splashWindow);
}

TEST_F(Extract, ATrailerThatDoesNotMatchIsACrcFailure) {
    const std::string badTrailer = pe_builder::PatternBytes(1000) + pe_builder::Dword(0xDEADBEEF);
    const struct {
        const char* name;
        std::string stored;
        LONG storedSize, position;
        size_t written;
        int chunks;
    } cases[] = {
        {"an empty payload with a non-zero trailer", pe_builder::Dword(1), 4, 4, 0, 0},
        {"a stored size below the trailer's reads nothing", "abc", 3, 0, 0, 0},
        {"the cursor is left past the trailer", badTrailer, LONG(badTrailer.size()), 1004, 1000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Extraction e = Run(c.stored, c.storedSize);
        EXPECT_EQ(EXTRACT_CRC_MISMATCH, e.result);
        EXPECT_EQ(c.position, e.position);
        EXPECT_EQ(c.written, e.written.size());
        EXPECT_EQ(c.chunks, e.chunks);
    }
}



TEST_F(Extract, ChunksAndProgressPositions) {
    const struct {
        size_t size;
        int chunks;
        std::vector<int> positions;
    } cases[] = {
        {9, 1, {}},  // fewer than ten bytes send no position
        {10, 1, {0}},
        {65536, 1, {0}},
        {65537, 2, {0, 100}},
        {1000000, 16, {0, 6, 13, 19, 26, 32, 39, 45, 52, 58, 65, 72, 78, 85, 91, 98}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " data bytes");
        StartOver();
        OpenProgressDialog();
        std::string data = pe_builder::PatternBytes(c.size);
        Extraction e = RunPayload(data);
        EXPECT_EQ(EXTRACTED, e.result);
        EXPECT_EQ(data, e.written);
        EXPECT_EQ(c.chunks, e.chunks);
        EXPECT_EQ(c.positions, sim::ProgressPositions());
        EXPECT_EQ(LONG(c.size + 4), e.position) << "just past the trailer";
    }
}

TEST(ProgressFormula, TwoBillionBytesStayWithinRange) {
    const LONG total = 2000000000;
    int chunks = 0;
    int lowest = 1000, highest = -1;
    for (int64_t done = 0; done < total; done += 65536, ++chunks) {
        int position = ProgressPosition(LONG(done), total);
        lowest = std::min(lowest, position);
        highest = std::max(highest, position);
    }
    EXPECT_EQ(30518, chunks);
    EXPECT_EQ(0, lowest);
    EXPECT_EQ(99, highest) << "the last chunk starts 99.998% in";
    EXPECT_EQ(100, ProgressPosition(total, total)) << "no overflow at the end either";
}

TEST(ProgressFormula, EqualsTheWideFormula) {
    const LONG totals[] = {10, 11, 19, 99, 100, 65537, 1000003, 214748364, 2147483647};
    for (LONG total : totals)
        for (int64_t step = 0; step <= 1000; ++step) {
            LONG done = LONG(int64_t(total) * step / 1000);
            int64_t wide = int64_t(done) * 10 / (total / 10);
            ASSERT_EQ(wide, ProgressPosition(done, total)) << done << " of " << total;
        }
}

TEST_F(Extract, CancelBeforeStartStillCopiesOneChunk) {
    g_run.cancelRequested = TRUE;
    std::string data = pe_builder::PatternBytes(200000);
    Extraction e = RunPayload(data);
    EXPECT_EQ(EXTRACT_CANCELLED, e.result);
    EXPECT_EQ(data.substr(0, 65536), e.written);
    EXPECT_EQ(1, e.chunks) << "one pump after the chunk";
    EXPECT_EQ(65536, e.position) << "just past the last chunk read; no trailer";
}

TEST_F(Extract, ContainerCutShortIsACrcFailure) {
    std::string stored = pe_builder::Payload(pe_builder::PatternBytes(100000)).substr(0, 50000);
    container_fixture::OpenContainer("LEAD" + stored);
    _llseek(g_run.containerFile, kLead, FILE_BEGIN);
    HANDLE out = CreateNewFile(kOutPath);
    EXPECT_EQ(EXTRACT_CRC_MISMATCH, ExtractPayload(out, 100004)) << "not a write failure";
    EXPECT_EQ(kLead + 50000, container_fixture::Position()) << "at the end of the file";
    CloseHandle(out);
    EXPECT_EQ(50000u, sim::files::Size(kOutPath)) << "every byte that could be read";
}

TEST_F(Extract, ShortWriteIsNotACrcFailure) {
    sim::files::SetWriteQuota(70000);
    Extraction e = RunPayload(pe_builder::PatternBytes(200000));
    EXPECT_EQ(EXTRACT_WRITE_FAILED, e.result);
    EXPECT_EQ(131072, e.position) << "just past the chunk whose write fell short";
    EXPECT_EQ(70000u, e.written.size());
}

TEST_F(Extract, ReadErrorEndsTheDataAsACrcFailure) {
    std::string stored = pe_builder::Payload(pe_builder::PatternBytes(200000));
    container_fixture::OpenContainer("LEAD" + stored);
    sim::files::FailReadAt(container_fixture::kSetupPath, kLead + 70000);
    _llseek(g_run.containerFile, kLead, FILE_BEGIN);
    HANDLE out = CreateNewFile(kOutPath);
    EXPECT_EQ(EXTRACT_CRC_MISMATCH, ExtractPayload(out, LONG(stored.size())));
    CloseHandle(out);
}

TEST_F(Extract, SplashGivesWayToDialogOnceHoldHasPassed) {
    ShowSplash();
    g_run.splashHold = FALSE;
    Extraction e = RunPayload(pe_builder::PatternBytes(200000));
    EXPECT_EQ(EXTRACTED, e.result);
    EXPECT_EQ(nullptr, g_run.splashWindow) << "the splash is closed after the first chunk";
    EXPECT_NE(nullptr, g_run.progressDialog);
    EXPECT_EQ((std::vector<int>{32, 65, 98}), sim::ProgressPositions())
        << "positions from the chunk after the dialog opened";
}

TEST_F(Extract, NoDialogWhileTheHoldIsOnOrWithoutASplash) {
    for (bool splash : {true, false}) {
        SCOPED_TRACE(splash ? "splash holding" : "no splash");
        StartOver();
        if (splash) ShowSplash();
        EXPECT_EQ(EXTRACTED, RunPayload(pe_builder::PatternBytes(200000)).result);
        EXPECT_EQ(splash, g_run.splashWindow != nullptr) << "the splash stays as it was";
        EXPECT_EQ(nullptr, g_run.progressDialog);
        EXPECT_TRUE(sim::ProgressPositions().empty());
    }
}

TEST_F(Extract, DialogLeftOpenStartsAgainFromZero) {
    OpenProgressDialog();
    RunPayload(pe_builder::PatternBytes(65537));
    RunPayload(pe_builder::PatternBytes(65537));
    EXPECT_EQ((std::vector<int>{0, 100, 0, 100}), sim::ProgressPositions());
}

TEST_F(Extract, RuntimeThenSeekLandsOnProduct) {
    std::string runtime9x = pe_builder::Payload(pe_builder::PatternBytes(70000));
    std::string runtimeNT = pe_builder::Payload("nt installer");
    container_fixture::OpenContainer(runtime9x + runtimeNT + "PROD");
    HANDLE out = CreateNewFile(kOutPath);
    ASSERT_EQ(0, ExtractPayload(out, LONG(runtime9x.size())));
    CloseHandle(out);
    _llseek(g_run.containerFile, LONG(runtimeNT.size()), FILE_CURRENT);
    char product[4];
    EXPECT_EQ(4u, _lread(g_run.containerFile, product, 4));
    EXPECT_EQ("PROD", std::string(product, 4));
}

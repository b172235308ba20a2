#include "msi_properties.h"

#include <libmsi.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include "escaped_text.h"
#include "failure.h"
#include "input_file.h"

namespace vesk {

namespace {

template <typename T>
struct GObjectUnref {
    void operator()(T* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

struct ErrorFree {
    void operator()(GError* error) const {
        if (error) g_error_free(error);
    }
};

std::string Describe(GError* error) {
    return error && error->message ? ": " + Escaped(error->message) : "";
}

// The library logs its own complaints about a bad file; the tool reports
// the failure itself, in one line.
void Discard(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

struct QuietLog {
    QuietLog() : previous(g_log_set_default_handler(Discard, nullptr)) {}
    ~QuietLog() { g_log_set_default_handler(previous, nullptr); }
    GLogFunc previous;
};

// The reading itself, through libmsi, in this process.
std::map<std::string, std::string> ReadPropertiesHere(const std::string& input, const std::vector<std::string>& names) {
    QuietLog quiet;
    GError* rawError = nullptr;
    GObjectPtr<LibmsiDatabase> database(
        libmsi_database_new(input.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &rawError));
    std::unique_ptr<GError, ErrorFree> error(rawError);
    if (!database) throw Failure(input, "not an installer database" + Describe(error.get()));

    rawError = nullptr;
    GObjectPtr<LibmsiQuery> query(
        libmsi_query_new(database.get(), "SELECT `Property`, `Value` FROM `Property`", &rawError));
    error.reset(rawError);
    rawError = nullptr;
    if (!query || !libmsi_query_execute(query.get(), nullptr, &rawError)) {
        error.reset(rawError);
        throw Failure(input, "cannot read its Property table" + Describe(error.get()));
    }

    std::map<std::string, std::string> found;
    while (GObjectPtr<LibmsiRecord> record{libmsi_query_fetch(query.get(), nullptr)}) {
        std::unique_ptr<gchar, decltype(&g_free)> name(libmsi_record_get_string(record.get(), 1), g_free);
        std::unique_ptr<gchar, decltype(&g_free)> value(libmsi_record_get_string(record.get(), 2), g_free);
        if (!name || !value) continue;
        if (std::find(names.begin(), names.end(), name.get()) != names.end())
            found.emplace(name.get(), value.get());
    }
    libmsi_query_close(query.get(), nullptr);
    return found;
}

constexpr unsigned kLibraryTimeLimit = 60;  // seconds the library may take on one file
constexpr rlim_t kLibraryMemoryLimit = rlim_t{1} << 30;  // bytes of address space it may add
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0) return;
        done += static_cast<size_t>(written);
    }
}

// Bounds the address space to what the process has now and the library's
// allowance. Counted from the present size, since a sanitizer build has
// reserved terabytes of shadow memory before it starts.
void LimitMemory() {
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + kLibraryMemoryLimit;
    setrlimit(RLIMIT_AS, &limit);
}

// The child's answer: 'O' and NUL-terminated name and value pairs, or 'F'
// and the failure's message.
std::string ChildAnswer(const std::string& input, const std::vector<std::string>& names) {
    try {
        std::string answer = "O";
        for (const auto& [name, value] : ReadPropertiesHere(input, names)) {
            answer += name;
            answer += '\0';
            answer += value;
            answer += '\0';
        }
        return answer;
    } catch (const Failure& failure) {
        return std::string("F") + failure.Problem();
    }
}

// How the child ended, when it did not end well.
std::string ChildFailure(int status) {
    if (!WIFSIGNALED(status)) return "failed on it";
    if (WTERMSIG(status) == SIGALRM) return "did not finish within " + std::to_string(kLibraryTimeLimit) + " s";
    return std::string("failed on it: ") + strsignal(WTERMSIG(status));
}

std::map<std::string, std::string> ParseAnswer(const std::string& input, const std::string& answer) {
    if (answer.empty()) throw Failure(input, "cannot read its Property table (the MSI library gave no answer)");
    if (answer[0] == 'F') throw Failure(input, answer.substr(1));
    std::map<std::string, std::string> found;
    for (size_t at = 1; at < answer.size();) {
        size_t nameEnd = answer.find('\0', at);
        size_t valueEnd = nameEnd == std::string::npos ? nameEnd : answer.find('\0', nameEnd + 1);
        if (valueEnd == std::string::npos) throw Failure(input, "cannot read its Property table (a cut answer)");
        found.emplace(answer.substr(at, nameEnd - at), answer.substr(nameEnd + 1, valueEnd - nameEnd - 1));
        at = valueEnd + 1;
    }
    return found;
}

}  // namespace

bool HasCompoundFileSignature(const std::filesystem::path& file) {
    static constexpr std::array<uint8_t, 8> signature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::array<uint8_t, 8> head{};
    return InputFile(file).ReadAt(0, head) == head.size() && head == signature;
}

// libmsi is not built for hostile files: a damaged database can crash it
// (a NULL read in libmsi_database_new was found by fuzzing), keep it busy
// or make it allocate without end. It runs in a child process with bounded
// time and address space, so that each ends as a one-line refusal of the
// file instead of taking the tool (or the machine) down.
std::map<std::string, std::string> ReadMsiProperties(const std::filesystem::path& msi,
                                                     const std::vector<std::string>& names) {
    const std::string input = msi.string();
    int channel[2];
    if (pipe(channel) != 0) throw Failure(input, "cannot read: " + SystemReason());
    pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        throw Failure(input, "cannot read: " + SystemReason());
    }
    if (child == 0) {
        close(channel[0]);
        for (int signal : kCrashSignals) std::signal(signal, SIG_DFL);
        std::signal(SIGALRM, SIG_DFL);  // not the parent's cleanup: the alarm ends the child alone
        alarm(kLibraryTimeLimit);
        LimitMemory();
        WriteAll(channel[1], ChildAnswer(input, names));
        _exit(0);
    }
    close(channel[1]);
    std::string answer;
    char buffer[4096];
    for (;;) {
        ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        answer.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Failure(input, "cannot read its Property table (the MSI library " + ChildFailure(status) + ")");
    return ParseAnswer(input, answer);
}

}  // namespace vesk

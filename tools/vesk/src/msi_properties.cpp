#include "msi_properties.h"

#include <libmsi.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>

#include "failure.h"

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
    return error && error->message ? std::string(": ") + error->message : "";
}

// The library logs its own complaints about a bad file; the tool reports
// the failure itself, in one line.
void Discard(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

struct QuietLog {
    QuietLog() : previous(g_log_set_default_handler(Discard, nullptr)) {}
    ~QuietLog() { g_log_set_default_handler(previous, nullptr); }
    GLogFunc previous;
};

}  // namespace

bool HasCompoundFileSignature(const std::filesystem::path& file) {
    static constexpr std::array<unsigned char, 8> signature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::ifstream in(file, std::ios::binary);
    std::array<char, 8> head{};
    in.read(head.data(), head.size());
    return in.gcount() == static_cast<std::streamsize>(head.size()) &&
           std::equal(head.begin(), head.end(), signature.begin(),
                      [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

std::map<std::string, std::string> ReadMsiProperties(const std::filesystem::path& msi,
                                                     const std::vector<std::string>& names) {
    const std::string input = msi.string();
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
        throw Failure(input, "cannot read the Property table" + Describe(error.get()));
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

}  // namespace vesk

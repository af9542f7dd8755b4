// The native packer reads databases with libmsi.
#include <libmsi.h>

#include <memory>
#include <vector>

#include "base/Utf8.h"
#include "tools/sfxpack/formats/ContainedCall.h"
#include "tools/sfxpack/formats/MsiProduct.h"

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Owns the error a libmsi call may leave.
class ErrorSlot {
public:
    ErrorSlot() = default;
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;
    ~ErrorSlot() { g_clear_error(&m_error); }
    GError** out() { return &m_error; }
    std::string Text(const char* fallback) const { return m_error != nullptr ? m_error->message : fallback; }

private:
    GError* m_error = nullptr;
};

// libmsi logs its own complaints to stderr; ours is the one line that says which
// entry failed, so its log is silenced while it works.
class QuietLog {
public:
    QuietLog() : m_previous(g_log_set_default_handler(&Ignore, nullptr)) {}
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;
    ~QuietLog() { g_log_set_default_handler(m_previous, nullptr); }

private:
    static void Ignore(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
    GLogFunc m_previous;
};

std::string Field(LibmsiRecord* record, guint field) {
    gchar* text = libmsi_record_get_string(record, field);
    std::string value = text != nullptr ? text : "";
    g_free(text);
    return value;
}

}  // namespace

static bool ReadInProcess(const WideString& path, MsiProduct* product, std::string* error) {
    *product = MsiProduct();
    const QuietLog quiet;
    ErrorSlot failure;
    GObjectPtr<LibmsiDatabase> database(
        libmsi_database_new(Utf8FromWide(path).c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, failure.out()));
    if (!database) {
        *error = "not a readable installer database (" + failure.Text("cannot be opened") + ")";
        return false;
    }
    GObjectPtr<LibmsiQuery> query(
        libmsi_query_new(database.get(), "SELECT `Property`, `Value` FROM `Property`", failure.out()));
    if (!query || !libmsi_query_execute(query.get(), nullptr, failure.out())) {
        *error =
            "the installer database has no readable Property table (" + failure.Text("query failed") + ")";
        return false;
    }
    for (;;) {
        ErrorSlot end;  // the last fetch reports that no rows are left
        GObjectPtr<LibmsiRecord> record(libmsi_query_fetch(query.get(), end.out()));
        if (!record) break;
        const std::string name = Field(record.get(), 1);
        std::string* target = product->Slot(name);
        if (target != nullptr) *target = Field(record.get(), 2);
    }
    ErrorSlot closing;
    libmsi_query_close(query.get(), closing.out());
    return true;
}

namespace {

// The child's answer: 'P' and the four properties, or 'E' and the reason; fields end
// in a zero byte, which no property text holds.
std::string Encode(bool read, const MsiProduct& product, const std::string& error) {
    std::string answer(1, read ? 'P' : 'E');
    for (const std::string* field :
         read ? std::vector<const std::string*>{&product.name, &product.version, &product.code,
                                                &product.manufacturer}
              : std::vector<const std::string*>{&error}) {
        answer += *field;
        answer += '\0';
    }
    return answer;
}

bool Decode(const std::string& answer, MsiProduct* product, std::string* error) {
    std::vector<std::string> fields;
    size_t at = 1;
    for (size_t end; (end = answer.find('\0', at)) != std::string::npos; at = end + 1)
        fields.push_back(answer.substr(at, end - at));
    if (!answer.empty() && answer[0] == 'P' && fields.size() == 4) {
        *product = MsiProduct{fields[0], fields[1], fields[2], fields[3]};
        return true;
    }
    *error = !answer.empty() && answer[0] == 'E' && fields.size() == 1
                 ? fields[0]
                 : "not a readable installer database (the reader did not answer)";
    return false;
}

}  // namespace

// libmsi was not written for hostile input: a damaged database can crash or hang it,
// so it reads in a child that can only answer.
bool ReadMsiProduct(const WideString& path, MsiProduct* product, std::string* error) {
    *product = MsiProduct();
    std::string answer;
    const ContainedOutcome outcome = RunContained(
        [&path]() {
            MsiProduct read;
            std::string problem;
            const bool ok = ReadInProcess(path, &read, &problem);
            return Encode(ok, read, problem);
        },
        ContainedLimits(), &answer);
    switch (outcome) {
        case ContainedOutcome::kAnswered:
            return Decode(answer, product, error);
        case ContainedOutcome::kTimedOut:
            *error = "not a readable installer database (reading it took too long)";
            return false;
        case ContainedOutcome::kCrashed:
            *error = "not a readable installer database (the reader crashed on it)";
            return false;
        default:
            *error = "not a readable installer database (no process could be made to read it)";
            return false;
    }
}

#pragma once
// Messages by name. Each subsystem keeps one table of its messages (its Messages.h): a name,
// the default text and the message box's buttons and icon. Everything the engine says goes
// through ShowMessage (a message box) or MessageText (a line of a dialog or report) with one
// of those entries, so a host and a test can tell messages apart by id and the catalogue can
// give each in the reader's language.
//
// A subsystem's table is a list macro of rows M(Name, "default text", MB_type), expanded by
// VARNEX_MESSAGE_TABLE inside the subsystem's namespace, which must name the subsystem in
// kMessageSubsystem first:
//
//     namespace msg::password {
//     inline constexpr char kMessageSubsystem[] = "password";
//     #define VARNEX_PASSWORD_MESSAGES(M) M(WrongPassword, "对不起，密码错!", MB_OK)
//     VARNEX_MESSAGE_TABLE(VARNEX_PASSWORD_MESSAGES)
//     }
//
// gives msg::password::WrongPassword (id "password.WrongPassword") and msg::password::kTable,
// every entry of the subsystem, which the catalogue check walks.

#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/MessageCatalogue.h"
#include "platform/Text.h"

struct MessageDef {
    const char* subsystem;
    const char* name;
    // The text as the C locale shows it; a printf template when the message takes arguments.
    const char* text;
    unsigned type;  // MB_* buttons | icon

    std::string Id() const { return *subsystem ? std::string(subsystem) + "." + name : std::string(); }
};

// The entry of `table` whose default text is `text`, else an entry without an id that shows
// `text` as given. For a message that reaches the place it is shown as text, through one of the
// engine's exported signatures.
MessageDef FindMessage(std::span<const MessageDef* const> table, const char* text);

#define VARNEX_MESSAGE_ENTRY(name, text, type) inline constexpr MessageDef name{kMessageSubsystem, #name, text, type};
#define VARNEX_MESSAGE_REF(name, text, type) &name,
#define VARNEX_MESSAGE_TABLE(LIST)                                                   \
    LIST(VARNEX_MESSAGE_ENTRY)                                                       \
    inline constexpr const MessageDef* kTableEntries[] = {LIST(VARNEX_MESSAGE_REF)}; \
    inline constexpr std::span<const MessageDef* const> kTable{kTableEntries};

// One printf conversion of a message template: the argument it takes (1-based) and what it
// takes it as (the length modifier and the conversion's class: "s", "d", "u", "f", "c", "ld", ...).
struct Placeholder {
    int argument;
    std::string kind;
    bool operator==(const Placeholder&) const = default;
};

// The conversions of a template in argument order; false when it is not a template this
// system shows: a malformed conversion, %n, a '*' width or precision, or numbered (%1$s) and
// plain conversions mixed. Numbered conversions may come in any order but each argument
// must be taken exactly once.
bool ParsePlaceholders(std::string_view text, std::vector<Placeholder>& out);
// Whether `translation` takes exactly the arguments `original` takes, in number and kind.
bool PlaceholdersAgree(std::string_view original, std::string_view translation);

namespace message_detail {
// What a message template's argument is handed to printf as: a string's characters, else the
// value itself, which must be one printf takes (a number, a pointer, a character array).
template <typename T>
decltype(auto) Arg(const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return value.c_str();
    } else {
        static_assert(std::is_arithmetic_v<T> || std::is_pointer_v<T> || std::is_array_v<T> || std::is_enum_v<T>,
                      "a message argument is a number, a C string or a std::string");
        return (value);
    }
}
// The template of `m` as the installed catalogue gives it, when it agrees with the default.
std::string Template(const MessageDef& m);
int Show(const MessageDef& m, const std::string& text);
}  // namespace message_detail

// The text of message `m` in the reader's language, its arguments put in.
inline std::string MessageText(const MessageDef& m) { return message_detail::Template(m); }
template <typename... Args>
std::string MessageText(const MessageDef& m, const Args&... args) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#endif
    return Format(message_detail::Template(m).c_str(), message_detail::Arg(args)...);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

// Shows message `m` through the UI host with its table's buttons and icon and returns the
// button pressed.
template <typename... Args>
int ShowMessage(const MessageDef& m, const Args&... args) {
    return message_detail::Show(m, MessageText(m, args...));
}

#pragma once

#include <stdexcept>
#include <string>

namespace engine {

// Every failure of the database engine: a number and a description in the
// engine's own words, ready to be shown to the user as it stands.
class EngineError : public std::runtime_error {
public:
    EngineError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

// Error numbers the engine raises.
namespace err {
constexpr int NoCurrentRecord = 3021;
constexpr int FileNotFound = 3024;
constexpr int ReadOnly = 3027;
constexpr int WorkgroupMissing = 3028;
constexpr int BadAccount = 3029;
constexpr int NoPermission = 3033;
constexpr int DiskError = 3043;
constexpr int CannotOpen = 3049;
constexpr int SyntaxError = 3075;
constexpr int TableNotFound = 3078;
constexpr int InvalidStatement = 3129;
constexpr int CharactersAfterEnd = 3142;
constexpr int FieldNotUpdatable = 3164;
constexpr int Locked = 3260;
constexpr int Damaged = 3340;
constexpr int NumericOverflow = 3349;
constexpr int UnrecognizedFormat = 3343;
constexpr int ConversionError = 3421;
constexpr int InvalidPattern = 93;
constexpr int SubscriptOutOfRange = 9;
constexpr int Internal = 3000;
constexpr int ConnectionLost = 3151;
constexpr int WriteConflict = 3197;
constexpr int RowDeleted = 3167;
} // namespace err

} // namespace engine

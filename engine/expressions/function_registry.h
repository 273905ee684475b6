// Built-in functions: the common base that checks a call's arguments, and the registry
// that maps an upper-cased name to the function object.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/expressions/expression_value.h"
#include "engine/expressions/runtime_interface.h"

// The arguments of one call, in call order. The list owns its values, so a function may
// convert and cache forms in them.
class CExprArgumentList {
public:
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    ExprYaccStackElement* operator[](std::size_t i) const { return m_items[i].get(); }
    void Append(SSRefPtr<ExprYaccStackElement> item) { m_items.push_back(std::move(item)); }
    void Clear() { m_items.clear(); }

private:
    std::vector<SSRefPtr<ExprYaccStackElement>> m_items;
};

// Argument type codes, one byte per argument (argument 1 in the lowest byte).
namespace arg_type {
inline constexpr unsigned kAny = 0, kBoolean = 1, kString = 2, kInteger = 3, kReal = 4, kPositiveReal = 5,
                          kNonNegativeReal = 6, kBitIndex = 7, kNonNegativeInteger = 8, kPositiveInteger = 9,
                          kDate = 10, kDatePart = 11, kVariableName = 12, kRadix = 13, kDayOfWeek = 14, kMonth = 15,
                          kRelativePath = 16;
inline constexpr unsigned kHighest = 16;
}  // namespace arg_type

// What a function's answer is made of, for the origin of its characters (text_origin.h):
// one column of every row of the function table.
enum class FunctionAnswer : std::uint8_t {
    // Computed from its arguments alone: a value's when an argument is; a function that
    // moves characters gives each the origin it had.
    kArguments,
    // Read from state the request decides: its variables and the template it runs, the
    // visitor's client variables, the files, the clock, the random state a value may have
    // seeded. A value's whatever its arguments, literal ones too.
    kRequestState,
    // The cells of a query column: each cell's characters a value's, the list's own
    // separators and quotes the function's; what is computed from it a value's.
    kQueryCells,
};
namespace answer {
inline constexpr FunctionAnswer kArguments = FunctionAnswer::kArguments;
inline constexpr FunctionAnswer kRequestState = FunctionAnswer::kRequestState;
inline constexpr FunctionAnswer kQueryCells = FunctionAnswer::kQueryCells;
}  // namespace answer

constexpr std::uint32_t PackArgTypes(unsigned t1 = 0, unsigned t2 = 0, unsigned t3 = 0, unsigned t4 = 0) {
    return t1 | (t2 << 8) | (t3 << 16) | (t4 << 24);
}

class CTSFunction {
public:
    CTSFunction() = default;
    virtual ~CTSFunction() = default;
    CTSFunction(const CTSFunction&) = delete;
    CTSFunction& operator=(const CTSFunction&) = delete;

    // Writes the result into result, or throws. Arguments may be null (no arguments).
    virtual void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) = 0;

    // count >= 0: exactly count arguments; count < 0: at least -count. A type code above 16
    // is logged and throws 0x800B.
    void Initialize(const char* name, int count, std::uint32_t types,
                    FunctionAnswer answer = FunctionAnswer::kArguments);
    // The count (0x4009), then the first four arguments by their codes (0x400A).
    void CheckArgs(CExprArgumentList* arguments) const;
    void CheckArg(unsigned position, ExprYaccStackElement* argument) const;

    const std::string& GetName() const { return m_name; }
    int GetArgumentCount() const { return m_count; }
    std::uint32_t GetArgumentTypes() const { return m_types; }
    FunctionAnswer GetAnswer() const { return m_answer; }

private:
    std::string m_name;
    int m_count = 0;
    std::uint32_t m_types = 0;
    FunctionAnswer m_answer = FunctionAnswer::kArguments;
};

// A function whose body is not part of this build: every call answers with a clear error.
class CUnavailableFunction : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override;
};

// Name lookup ignoring ASCII case, without copying the name.
struct FunctionNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
};
struct FunctionNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

class CFunctionRegistry {
public:
    // Stores the function under its name upper-cased (replacing an entry of that name).
    void RegisterFunction(std::unique_ptr<CTSFunction> function);
    // Stores a built-in function; a name already registered (case ignored) is a fault of
    // the function table and throws std::logic_error naming it, so that a second row
    // cannot silently shadow the first.
    void RegisterBuiltin(std::unique_ptr<CTSFunction> function);
    // Null when no function of that name (case ignored) is registered.
    CTSFunction* Lookup(std::string_view name) const;
    std::size_t size() const { return m_functions.size(); }

    // Finds the function, checks the arguments and runs it; the result's origin follows the
    // function's answer column. An unknown name throws 0x400D.
    void FindFunction(CRuntimeInterface* runtime, const char* name, CExprArgumentList* arguments,
                      ExprYaccStackElement* result) const;

private:
    std::unordered_map<std::string, std::unique_ptr<CTSFunction>, FunctionNameHash, FunctionNameEqual> m_functions;
};

struct FunctionTableRow;

// The registry of every built-in function, in table order; throws std::logic_error when
// two rows name the same function.
std::unique_ptr<CFunctionRegistry> BuildFunctionRegistry();
std::unique_ptr<CFunctionRegistry> BuildFunctionRegistry(std::span<const FunctionTableRow> rows);

// One row of the function table.
struct FunctionTableRow {
    const char* name;
    int count;
    std::uint32_t types;
    // What its answer is made of: every row says.
    FunctionAnswer answer;
    // Makes the function object; null while its body is not built.
    std::unique_ptr<CTSFunction> (*make)();
};
// The rows of every family, in registration order (functions/function_families.def).
const FunctionTableRow* BuiltinFunctionTable(std::size_t& count);

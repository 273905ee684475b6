#pragma once
// Token and production numbers of the expression grammar (tools/grammars/expression.grammar).
// Written by tsgrammar --symbols; the build fails when this file and the grammar disagree.

#include <cstdint>

namespace tessaro::grammar::expression_grammar {

inline constexpr std::uint32_t kListCount = 3;
inline constexpr std::uint32_t kProductionCount = 93;

// Tokens returned by the lexer.
namespace token {
inline constexpr std::uint32_t WhiteSpace = 1;
inline constexpr std::uint32_t Comma = 2;
inline constexpr std::uint32_t Int = 3;
inline constexpr std::uint32_t Real = 4;
inline constexpr std::uint32_t Ident = 5;
inline constexpr std::uint32_t LeftParen = 6;
inline constexpr std::uint32_t RightParen = 7;
inline constexpr std::uint32_t Plus = 8;
inline constexpr std::uint32_t Minus = 9;
inline constexpr std::uint32_t Slash = 10;
inline constexpr std::uint32_t Backslash = 11;
inline constexpr std::uint32_t Star = 12;
inline constexpr std::uint32_t Mod = 13;
inline constexpr std::uint32_t Caret = 14;
inline constexpr std::uint32_t True = 15;
inline constexpr std::uint32_t False = 16;
inline constexpr std::uint32_t Yes = 17;
inline constexpr std::uint32_t No = 18;
inline constexpr std::uint32_t And = 19;
inline constexpr std::uint32_t Or = 20;
inline constexpr std::uint32_t Xor = 21;
inline constexpr std::uint32_t Not = 22;
inline constexpr std::uint32_t Eqv = 23;
inline constexpr std::uint32_t Imp = 24;
inline constexpr std::uint32_t Is = 25;
inline constexpr std::uint32_t IsNot = 26;
inline constexpr std::uint32_t Contains = 27;
inline constexpr std::uint32_t DoesNotContain = 28;
inline constexpr std::uint32_t Gt = 29;
inline constexpr std::uint32_t Gte = 30;
inline constexpr std::uint32_t Lt = 31;
inline constexpr std::uint32_t Lte = 32;
inline constexpr std::uint32_t Ampersand = 33;
inline constexpr std::uint32_t Hash = 34;
inline constexpr std::uint32_t DoubleQuote = 35;
inline constexpr std::uint32_t SingleQuote = 36;
inline constexpr std::uint32_t PreserveSingleQuotes = 37;
inline constexpr std::uint32_t ValueList = 38;
inline constexpr std::uint32_t QuotedValueList = 39;
inline constexpr std::uint32_t ParameterExists = 40;
inline constexpr std::uint32_t DqsPlainText = 41;
inline constexpr std::uint32_t DqsPound = 42;
inline constexpr std::uint32_t DqsDoublePound = 43;
inline constexpr std::uint32_t DqsDoubleQuote = 44;
inline constexpr std::uint32_t DqsDoubleDoubleQuote = 45;
inline constexpr std::uint32_t SqsPlainText = 46;
inline constexpr std::uint32_t SqsPound = 47;
inline constexpr std::uint32_t SqsDoublePound = 48;
inline constexpr std::uint32_t SqsSingleQuote = 49;
inline constexpr std::uint32_t SqsDoubleSingleQuote = 50;
}  // namespace token

// Productions, named left side _ right side (tokens by name, "empty" for none).
namespace production {
inline constexpr std::uint32_t start = 0;
inline constexpr std::uint32_t Goal_TopExpression = 1;
inline constexpr std::uint32_t TopExpression_Expression = 2;
inline constexpr std::uint32_t Expression_Expression_Eqv_Expression = 3;
inline constexpr std::uint32_t Expression_Expression_Imp_Expression = 4;
inline constexpr std::uint32_t Expression_Expression_Xor_Expression = 5;
inline constexpr std::uint32_t Expression_Expression_Or_Expression = 6;
inline constexpr std::uint32_t Expression_Expression_And_Expression = 7;
inline constexpr std::uint32_t Expression_Expression_Is_Expression = 8;
inline constexpr std::uint32_t Expression_Expression_IsNot_Expression = 9;
inline constexpr std::uint32_t Expression_Expression_Contains_Expression = 10;
inline constexpr std::uint32_t Expression_Expression_DoesNotContain_Expression = 11;
inline constexpr std::uint32_t Expression_Expression_Lt_Expression = 12;
inline constexpr std::uint32_t Expression_Expression_Lte_Expression = 13;
inline constexpr std::uint32_t Expression_Expression_Gt_Expression = 14;
inline constexpr std::uint32_t Expression_Expression_Gte_Expression = 15;
inline constexpr std::uint32_t Expression_Expression_Ampersand_Expression = 16;
inline constexpr std::uint32_t Expression_Expression_Plus_Expression = 17;
inline constexpr std::uint32_t Expression_Expression_Minus_Expression = 18;
inline constexpr std::uint32_t Expression_Expression_Mod_Expression = 19;
inline constexpr std::uint32_t Expression_Expression_Backslash_Expression = 20;
inline constexpr std::uint32_t Expression_Expression_Star_Expression = 21;
inline constexpr std::uint32_t Expression_Expression_Slash_Expression = 22;
inline constexpr std::uint32_t Expression_Expression_Caret_Expression = 23;
inline constexpr std::uint32_t Expression_Not_Expression = 24;
inline constexpr std::uint32_t Expression_LeftParen_Expression_RightParen = 25;
inline constexpr std::uint32_t Expression_Operand = 26;
inline constexpr std::uint32_t Operand_Minus_Number = 27;
inline constexpr std::uint32_t Operand_Plus_Number = 28;
inline constexpr std::uint32_t Operand_Minus_VariableRef = 29;
inline constexpr std::uint32_t Operand_Plus_VariableRef = 30;
inline constexpr std::uint32_t Operand_Minus_FunctionCall = 31;
inline constexpr std::uint32_t Operand_Plus_FunctionCall = 32;
inline constexpr std::uint32_t Operand_Minus_LeftParen_Expression_RightParen = 33;
inline constexpr std::uint32_t Operand_Plus_LeftParen_Expression_RightParen = 34;
inline constexpr std::uint32_t Operand_True = 35;
inline constexpr std::uint32_t Operand_False = 36;
inline constexpr std::uint32_t Operand_Yes = 37;
inline constexpr std::uint32_t Operand_No = 38;
inline constexpr std::uint32_t Operand_Number = 39;
inline constexpr std::uint32_t Operand_VariableRef = 40;
inline constexpr std::uint32_t Operand_FunctionCall = 41;
inline constexpr std::uint32_t Operand_DqString = 42;
inline constexpr std::uint32_t Operand_SqString = 43;
inline constexpr std::uint32_t Pound_Hash = 44;
inline constexpr std::uint32_t VariableRef_VariableName = 45;
inline constexpr std::uint32_t VariableRef_Pound_VariableName_Pound = 46;
inline constexpr std::uint32_t VariableRef_DqPound_VariableName_Pound = 47;
inline constexpr std::uint32_t VariableRef_SqPound_VariableName_Pound = 48;
inline constexpr std::uint32_t FunctionCall_PlainCall = 49;
inline constexpr std::uint32_t FunctionCall_Pound_PlainCall_Pound = 50;
inline constexpr std::uint32_t FunctionCall_DqPound_PlainCall_Pound = 51;
inline constexpr std::uint32_t FunctionCall_SqPound_PlainCall_Pound = 52;
inline constexpr std::uint32_t VariableName_Ident = 53;
inline constexpr std::uint32_t PlainCall_Ident_LeftParen_OptionalArguments_RightParen = 54;
inline constexpr std::uint32_t OptionalArguments_empty = 55;
inline constexpr std::uint32_t OptionalArguments_ArgumentList = 56;
inline constexpr std::uint32_t ArgumentList_Expression = 57;
inline constexpr std::uint32_t ArgumentList_ArgumentList_Comma_Expression = 58;
inline constexpr std::uint32_t Number_Real = 59;
inline constexpr std::uint32_t Number_Int = 60;
inline constexpr std::uint32_t DqString_DoubleQuote_DqBody_DqsDoubleQuote = 61;
inline constexpr std::uint32_t DqBody_empty = 62;
inline constexpr std::uint32_t DqBody_DqParts = 63;
inline constexpr std::uint32_t DqParts_DqPart = 64;
inline constexpr std::uint32_t DqParts_DqParts_DqPart = 65;
inline constexpr std::uint32_t DqPart_DqsPlainText = 66;
inline constexpr std::uint32_t DqPart_DqsDoublePound = 67;
inline constexpr std::uint32_t DqPart_DqsDoubleDoubleQuote = 68;
inline constexpr std::uint32_t DqPart_VariableRef = 69;
inline constexpr std::uint32_t DqPart_FunctionCall = 70;
inline constexpr std::uint32_t DqPound_DqsPound = 71;
inline constexpr std::uint32_t SqString_SingleQuote_SqBody_SqsSingleQuote = 72;
inline constexpr std::uint32_t SqBody_empty = 73;
inline constexpr std::uint32_t SqBody_SqParts = 74;
inline constexpr std::uint32_t SqParts_SqPart = 75;
inline constexpr std::uint32_t SqParts_SqParts_SqPart = 76;
inline constexpr std::uint32_t SqPart_SqsPlainText = 77;
inline constexpr std::uint32_t SqPart_SqsDoublePound = 78;
inline constexpr std::uint32_t SqPart_SqsDoubleSingleQuote = 79;
inline constexpr std::uint32_t SqPart_VariableRef = 80;
inline constexpr std::uint32_t SqPart_FunctionCall = 81;
inline constexpr std::uint32_t SqPound_SqsPound = 82;
inline constexpr std::uint32_t FunctionCall_SpecialCall = 83;
inline constexpr std::uint32_t SpecialCall_SpecialName_LeftParen_SpecialArgument_RightParen = 84;
inline constexpr std::uint32_t SpecialName_PreserveSingleQuotes = 85;
inline constexpr std::uint32_t SpecialName_QuotedValueList = 86;
inline constexpr std::uint32_t SpecialName_ValueList = 87;
inline constexpr std::uint32_t SpecialName_ParameterExists = 88;
inline constexpr std::uint32_t SpecialArgument_Ident = 89;
inline constexpr std::uint32_t FunctionCall_Pound_SpecialCall_Pound = 90;
inline constexpr std::uint32_t FunctionCall_DqPound_SpecialCall_Pound = 91;
inline constexpr std::uint32_t FunctionCall_SqPound_SpecialCall_Pound = 92;
}  // namespace production

}  // namespace tessaro::grammar::expression_grammar

#include "mEval.h"

namespace quillon {

namespace {

enum : int { Error = -1, False = 0, True = 1 };

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::string_view rest() const { return text_; }

    int expression() {
        int r = term();
        while (!text_.empty()) {
            skipBlanks();
            if (text_.empty() || text_.front() == ')') break;
            std::string_view word = run();
            int b = term();
            if (b == Error) return Error;
            if (word == "and")
                r = (r == True && b == True) ? True : False;
            else if (word == "or")
                r = (r == True || b == True) ? True : False;
            else
                return Error;
        }
        return r;
    }

  private:
    int term() {
        skipBlanks();
        if (!text_.empty() && text_.front() == '(') {
            text_.remove_prefix(1);
            int r = expression();
            skipBlanks();
            if (text_.empty() || text_.front() != ')') return Error;
            text_.remove_prefix(1);
            return r;
        }
        if (!text_.empty() && text_.front() == '"') return comparison();
        return Error;
    }

    int comparison() {
        std::string left = string();
        skipBlanks();
        std::string_view op = run();
        skipBlanks();
        if (text_.empty() || text_.front() != '"') return Error;
        std::string right = string();
        skipBlanks();
        int order = left.compare(right);
        if (op == "=") return order == 0;
        if (op == "<>") return order != 0;
        if (op == "<=") return order <= 0;
        if (op == "<") return order < 0;
        if (op == ">=") return order >= 0;
        if (op == ">") return order > 0;
        return Error;
    }

    // A quoted string; a doubled quote inside stands for one. Without its closing quote nothing is
    // consumed and the string is empty.
    std::string string() {
        if (text_.empty() || text_.front() != '"') return {};
        std::string value;
        for (size_t i = 1; i < text_.size(); ++i) {
            if (text_[i] != '"') {
                value += text_[i];
            } else if (i + 1 < text_.size() && text_[i + 1] == '"') {
                value += '"';
                ++i;
            } else {
                text_.remove_prefix(i + 1);
                return value;
            }
        }
        return {};
    }

    // The characters up to the next blank or double quote: a joining word or an operator.
    std::string_view run() {
        size_t end = 0;
        while (end < text_.size() && text_[end] != ' ' && text_[end] != '"')
            ++end;
        std::string_view word = text_.substr(0, end);
        text_.remove_prefix(end);
        return word;
    }

    void skipBlanks() {
        while (!text_.empty() && text_.front() == ' ')
            text_.remove_prefix(1);
    }

    std::string_view text_;
};

// Parsing consumes as it goes, so a malformed tail (an unquoted second operand, a trailing "and") can
// be eaten whole and leave nothing over; only an expression of nothing but blanks and parentheses
// is without value, anything else that fails is an error.
bool isEmptyExpression(std::string_view expression) {
    return expression.find_first_not_of(" ()") == std::string_view::npos;
}

} // namespace

std::optional<std::string> evaluationOutcome(std::string_view expression) {
    std::string wrapped = "(" + std::string(expression) + ")";
    Parser parser(wrapped);
    int result = parser.expression();
    if (!parser.rest().empty()) return "ERROR";
    if (result == True) return "TRUE";
    if (result == False) return "FALSE";
    if (isEmptyExpression(expression)) return std::nullopt;
    return "ERROR";
}

std::string evaluateExpression(std::string_view expression) {
    return evaluationOutcome(expression).value_or("ERROR");
}

bool expressionSyntaxAccepted(std::string_view authorText) {
    std::string quoted(authorText);
    for (auto& c : quoted)
        if (c == '$') c = '"';
    return evaluationOutcome(quoted) != "ERROR";
}

} // namespace quillon

#include "reference_json.h"

#include <cstdint>
#include <vector>

// Written apart from the product's reader, in another shape: a lexer that
// cuts the text into tokens, and a pushdown automaton over the tokens.
namespace kova::reference {
namespace {

enum class Token { begin_object, end_object, begin_array, end_array, colon, comma, string, scalar, end, error };

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    Token next() {
        while (at_ < text_.size() && (text_[at_] == 0x20 || text_[at_] == 0x09 || text_[at_] == 0x0A || text_[at_] == 0x0D)) {
            ++at_;
        }
        if (at_ == text_.size()) return Token::end;
        const char c = text_[at_];
        switch (c) {
            case '{': ++at_; return Token::begin_object;
            case '}': ++at_; return Token::end_object;
            case '[': ++at_; return Token::begin_array;
            case ']': ++at_; return Token::end_array;
            case ':': ++at_; return Token::colon;
            case ',': ++at_; return Token::comma;
            case '"': return string() ? Token::string : Token::error;
            case 't': return word("true") ? Token::scalar : Token::error;
            case 'f': return word("false") ? Token::scalar : Token::error;
            case 'n': return word("null") ? Token::scalar : Token::error;
            default: return number() ? Token::scalar : Token::error;
        }
    }

private:
    [[nodiscard]] int peek() const { return at_ < text_.size() ? static_cast<unsigned char>(text_[at_]) : -1; }

    bool word(std::string_view w) {
        if (text_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }

    // A DFA over the number grammar: states named for what was last read.
    bool number() {
        enum { start, minus, zero, integer, point, fraction, exponent_mark, exponent_sign, exponent } state = start;
        for (;; ++at_) {
            const int c = peek();
            const bool digit = c >= '0' && c <= '9';
            switch (state) {
                case start: if (c == '-') state = minus; else if (c == '0') state = zero; else if (digit) state = integer; else return false; break;
                case minus: if (c == '0') state = zero; else if (digit) state = integer; else return false; break;
                case zero: if (c == '.') state = point; else if (c == 'e' || c == 'E') state = exponent_mark; else return true; break;
                case integer: if (digit) break; if (c == '.') state = point; else if (c == 'e' || c == 'E') state = exponent_mark; else return true; break;
                case point: if (digit) state = fraction; else return false; break;
                case fraction: if (digit) break; if (c == 'e' || c == 'E') state = exponent_mark; else return true; break;
                case exponent_mark: if (c == '+' || c == '-') state = exponent_sign; else if (digit) state = exponent; else return false; break;
                case exponent_sign: if (digit) state = exponent; else return false; break;
                case exponent: if (!digit) return true; break;
            }
        }
    }

    // One UTF-8 sequence, by the table of well-formed byte sequences in the
    // Unicode Standard (Table 3-7).
    bool utf8_sequence() {
        const int b0 = peek();
        int count = 0;
        int low = 0x80;
        int high = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            count = 1;
        } else if (b0 == 0xE0) {
            count = 2, low = 0xA0;
        } else if ((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF) {
            count = 2;
        } else if (b0 == 0xED) {
            count = 2, high = 0x9F;
        } else if (b0 == 0xF0) {
            count = 3, low = 0x90;
        } else if (b0 >= 0xF1 && b0 <= 0xF3) {
            count = 3;
        } else if (b0 == 0xF4) {
            count = 3, high = 0x8F;
        } else {
            return false;
        }
        ++at_;
        for (int i = 0; i < count; ++i, ++at_) {
            const int b = peek();
            if (b < low || b > high) return false;
            low = 0x80;
            high = 0xBF;
        }
        return true;
    }

    bool string() {
        ++at_;
        for (;;) {
            const int c = peek();
            if (c < 0) return false;
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) return false;
            if (c >= 0x80) {
                if (!utf8_sequence()) return false;
                continue;
            }
            ++at_;
            if (c != '\\') continue;
            const int e = peek();
            ++at_;
            if (e == 'u') {
                for (int i = 0; i < 4; ++i, ++at_) {
                    const int h = peek();
                    if (!((h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') || (h >= 'A' && h <= 'F'))) return false;
                }
            } else if (e < 0 || std::string_view("\"\\/bfnrt").find(static_cast<char>(e)) == std::string_view::npos) {
                return false;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

bool is_well_formed_json(std::string_view text) {
    // What the automaton waits for next.
    enum class Expect { value, first_value_or_end, name, first_name_or_end, colon, comma_or_end, done };
    Lexer lexer(text);
    std::vector<Token> closers;  // the token that closes each open container
    Expect expect = Expect::value;
    for (;;) {
        const Token token = lexer.next();
        if (token == Token::error) return false;
        switch (expect) {
            case Expect::done:
                return token == Token::end;
            case Expect::first_name_or_end:
            case Expect::name:
                if (expect == Expect::first_name_or_end && token == Token::end_object) {
                    closers.pop_back();
                    expect = closers.empty() ? Expect::done : Expect::comma_or_end;
                    break;
                }
                if (token != Token::string) return false;
                expect = Expect::colon;
                break;
            case Expect::colon:
                if (token != Token::colon) return false;
                expect = Expect::value;
                break;
            case Expect::comma_or_end:
                if (token == Token::comma) {
                    expect = closers.back() == Token::end_object ? Expect::name : Expect::value;
                } else if (token == closers.back()) {
                    closers.pop_back();
                    expect = closers.empty() ? Expect::done : Expect::comma_or_end;
                } else {
                    return false;
                }
                break;
            case Expect::first_value_or_end:
                if (token == Token::end_array) {
                    closers.pop_back();
                    expect = closers.empty() ? Expect::done : Expect::comma_or_end;
                    break;
                }
                [[fallthrough]];
            case Expect::value:
                if (token == Token::begin_object) {
                    closers.push_back(Token::end_object);
                    expect = Expect::first_name_or_end;
                } else if (token == Token::begin_array) {
                    closers.push_back(Token::end_array);
                    expect = Expect::first_value_or_end;
                } else if (token == Token::string || token == Token::scalar) {
                    expect = closers.empty() ? Expect::done : Expect::comma_or_end;
                } else {
                    return false;
                }
                break;
        }
    }
}

}  // namespace kova::reference

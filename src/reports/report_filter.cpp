// Reading and writing filter expressions.
#include "reports/report_filter.h"

#include <QRegularExpression>

#include "reports/report_error.h"

namespace tolvane::reports {

namespace {

const QRegularExpression& numberPattern() {
    static const QRegularExpression re(QStringLiteral(R"(^-?\d+(\.\d+)?$)"));
    return re;
}

QString quoted(const QString& text) {
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

struct Token {
    enum Kind { Word, Text, Number, Symbol, End } kind = End;
    QString text{};
    int at = 0;  // 1-based character position, for messages
};

QList<Token> tokenize(const QString& s) {
    QList<Token> out;
    int i = 0;
    const int n = int(s.size());
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token t;
        t.at = i + 1;
        if (c == QLatin1Char('\'')) {
            QString text;
            ++i;
            bool closed = false;
            while (i < n) {
                if (s[i] == QLatin1Char('\'')) {
                    if (i + 1 < n && s[i + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                text += s[i++];
            }
            if (!closed)
                throw ReportError(
                    QStringLiteral("the filter's text starting at character %1 is not closed "
                                   "with a quote")
                        .arg(t.at));
            t.kind = Token::Text;
            t.text = text;
        } else if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            const int end = int(s.indexOf(close, i + 1));
            if (end < 0)
                throw ReportError(
                    QStringLiteral("the field name at character %1 of the filter is not closed")
                        .arg(t.at));
            t.kind = Token::Word;
            t.text = s.mid(i + 1, end - i - 1);
            i = end + 1;
        } else if (c.isDigit() || (c == QLatin1Char('-') && i + 1 < n && s[i + 1].isDigit())) {
            int j = i + 1;
            while (j < n && (s[j].isDigit() || s[j] == QLatin1Char('.'))) ++j;
            t.kind = Token::Number;
            t.text = s.mid(i, j - i);
            if (!numberPattern().match(t.text).hasMatch())
                throw ReportError(
                    QStringLiteral("\"%1\" in the filter is not a number").arg(t.text));
            i = j;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            int j = i + 1;
            while (j < n && (s[j].isLetterOrNumber() || s[j] == QLatin1Char('_'))) ++j;
            t.kind = Token::Word;
            t.text = s.mid(i, j - i);
            i = j;
        } else {
            static const QStringList symbols{"<>", "<=", ">=", "!=", "=", "<", ">", "(", ")"};
            for (const QString& sym : symbols) {
                if (s.mid(i, sym.size()) == sym) {
                    t.kind = Token::Symbol;
                    t.text = sym;
                    break;
                }
            }
            if (t.kind != Token::Symbol)
                throw ReportError(
                    QStringLiteral("the filter cannot be read at character %1 (\"%2\")")
                        .arg(t.at)
                        .arg(c));
            i += int(t.text.size());
        }
        out << t;
    }
    Token end;
    end.at = n + 1;
    out << end;
    return out;
}

class Parser {
  public:
    Parser(const QString& expression, const QStringList& fields)
        : tokens_(tokenize(expression)), fields_(fields) {}

    DataFilter run() {
        expression();
        if (peek().kind != Token::End)
            throw ReportError(QStringLiteral("the filter has \"%1\" at character %2 where AND, "
                                             "OR or its end was expected")
                                  .arg(peek().text)
                                  .arg(peek().at));
        return out_;
    }

  private:
    const Token& peek() const { return tokens_[pos_]; }
    Token take() { return tokens_[pos_++]; }
    bool isWord(const Token& t, const char* word) const {
        return t.kind == Token::Word &&
               t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool takeWord(const char* word) {
        if (!isWord(peek(), word)) return false;
        ++pos_;
        return true;
    }
    [[noreturn]] void expected(const QString& what) const {
        const Token& t = peek();
        throw ReportError(QStringLiteral("the filter needs %1 at character %2%3")
                              .arg(what)
                              .arg(t.at)
                              .arg(t.kind == Token::End
                                       ? QStringLiteral(", where it ends")
                                       : QStringLiteral(" (found \"%1\")").arg(t.text)));
    }

    void expression() {
        term();
        for (;;) {
            if (takeWord("AND"))
                out_.condition += QStringLiteral(" AND ");
            else if (takeWord("OR"))
                out_.condition += QStringLiteral(" OR ");
            else
                return;
            term();
        }
    }

    void term() {
        if (takeWord("NOT")) out_.condition += QStringLiteral("NOT ");
        if (peek().kind == Token::Symbol && peek().text == QLatin1String("(")) {
            take();
            out_.condition += QLatin1Char('(');
            expression();
            if (!(peek().kind == Token::Symbol && peek().text == QLatin1String(")")))
                expected(QStringLiteral("a closing bracket"));
            take();
            out_.condition += QLatin1Char(')');
            return;
        }
        condition();
    }

    QString column() {
        const Token t = peek();
        if (t.kind != Token::Word || isWord(t, "AND") || isWord(t, "OR") || isWord(t, "NOT"))
            expected(QStringLiteral("a field name"));
        take();
        for (const QString& f : fields_)
            if (f.compare(t.text, Qt::CaseInsensitive) == 0)
                return QLatin1Char('"') +
                       QString(f).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                       QLatin1Char('"');
        throw ReportError(
            QStringLiteral("the report has no field \"%1\" (character %2 of the filter)")
                .arg(t.text)
                .arg(t.at));
    }

    void value() {
        const Token t = peek();
        if (t.kind == Token::Text) {
            out_.values << t.text;
        } else if (t.kind == Token::Number) {
            if (t.text.contains(QLatin1Char('.')))
                out_.values << t.text.toDouble();
            else
                out_.values << t.text.toLongLong();
        } else {
            expected(QStringLiteral("a value (a number, or text in single quotes)"));
        }
        take();
        out_.condition += QLatin1Char('?');
    }

    void condition() {
        const QString col = column();
        out_.condition += col;
        if (takeWord("IS")) {
            const bool negated = takeWord("NOT");
            if (!takeWord("NULL")) expected(QStringLiteral("NULL"));
            out_.condition += negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL");
            return;
        }
        const bool negated = takeWord("NOT");
        if (takeWord("LIKE")) {
            out_.condition += negated ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ");
            value();
            return;
        }
        if (negated) expected(QStringLiteral("LIKE"));
        const Token op = peek();
        if (op.kind != Token::Symbol || op.text == QLatin1String("(") ||
            op.text == QLatin1String(")"))
            expected(QStringLiteral("an operator (=, <>, <, <=, >, >=, LIKE, IS NULL)"));
        take();
        out_.condition += QLatin1Char(' ') +
                          (op.text == QLatin1String("!=") ? QStringLiteral("<>") : op.text) +
                          QLatin1Char(' ');
        value();
    }

    QList<Token> tokens_;
    const QStringList& fields_;
    int pos_ = 0;
    DataFilter out_;
};

}  // namespace

const QStringList& filterOperators() {
    static const QStringList ops{"=",  "<>",   "<",        "<=",      ">",
                                 ">=", "LIKE", "NOT LIKE", "IS NULL", "IS NOT NULL"};
    return ops;
}

bool operatorTakesValue(const QString& op) {
    return !op.startsWith(QLatin1String("IS "), Qt::CaseInsensitive);
}

QString filterExpression(const QList<FilterLine>& lines) {
    QString out;
    for (const FilterLine& line : lines) {
        const QString field = line.field.trimmed();
        if (field.isEmpty()) continue;
        const QString op = line.op.trimmed().toUpper();
        if (!filterOperators().contains(op))
            throw ReportError(QStringLiteral("\"%1\" is not a filter operator").arg(line.op));
        if (!out.isEmpty())
            out += line.join.trimmed().compare(QLatin1String("OR"), Qt::CaseInsensitive) == 0
                       ? QStringLiteral(" OR ")
                       : QStringLiteral(" AND ");
        // A field name that is not one plain word goes in brackets.
        static const QRegularExpression plain(QStringLiteral(R"(^[A-Za-z_]\w*$)"));
        out += plain.match(field).hasMatch() ? field : QLatin1Char('[') + field + QLatin1Char(']');
        out += QLatin1Char(' ') + op;
        if (operatorTakesValue(op)) {
            const QString v = line.value.trimmed();
            out +=
                QLatin1Char(' ') + (numberPattern().match(v).hasMatch() ? v : quoted(line.value));
        }
    }
    return out;
}

DataFilter parseFilter(const QString& expression, const QStringList& fields) {
    if (expression.trimmed().isEmpty()) return {};
    return Parser(expression, fields).run();
}

}  // namespace tolvane::reports

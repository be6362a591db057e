// Reading a user's query the way its engine reads it, and deciding whether it only reads.
#include "db/read_only_sql.h"

#include <QList>
#include <QStringList>
#include <optional>

namespace tolvane::db {

namespace {

struct Token {
    enum Kind { Word, Name, Text, Symbol } kind = Symbol;
    QString text{};  // a word or name as written (without quotes); a symbol's character
    qsizetype at = 0;
};

// A piece of the text for a message: from a place to the end, on one line, not too long.
QString excerpt(const QString& sql, qsizetype from) {
    QString s = sql.mid(from).simplified();
    if (s.size() > 40) s = s.left(37) + QStringLiteral("...");
    return QStringLiteral("(\"%1\")").arg(s);
}

bool wordStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

bool wordPart(QChar c) {
    return wordStart(c) || c.isDigit() || c == QLatin1Char('$');
}

class Lexer {
  public:
    Lexer(Engine engine, const QString& sql) : pg_(engine == Engine::PostgreSQL), s_(sql) {}

    // The tokens, or the reason the text cannot be read to its end.
    std::optional<QString> run(QList<Token>& out) {
        const qsizetype n = s_.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = s_[i];
            const QChar next = i + 1 < n ? s_[i + 1] : QChar();
            if (c.isSpace()) {
                ++i;
            } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
                // PostgreSQL ends a line comment at either line break, SQLite at LF only.
                while (i < n && s_[i] != QLatin1Char('\n') && !(pg_ && s_[i] == QLatin1Char('\r')))
                    ++i;
            } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                const qsizetype end = commentEnd(i);
                if (end < 0)
                    return QStringLiteral("its comment %1 is not closed").arg(excerpt(s_, i));
                i = end;
            } else if (c == QLatin1Char('\'')) {
                if (!quoted(i, QLatin1Char('\''), false, Token::Text, out)) return unclosed(i);
            } else if (c == QLatin1Char('"')) {
                if (!quoted(i, QLatin1Char('"'), false, Token::Name, out)) return unclosed(i);
            } else if (!pg_ && c == QLatin1Char('`')) {
                if (!quoted(i, QLatin1Char('`'), false, Token::Name, out)) return unclosed(i);
            } else if (!pg_ && c == QLatin1Char('[')) {
                const qsizetype end = s_.indexOf(QLatin1Char(']'), i + 1);
                if (end < 0) return unclosed(i);
                out << Token{Token::Name, s_.mid(i + 1, end - i - 1), i};
                i = end + 1;
            } else if (pg_ && c == QLatin1Char('$') && !next.isDigit()) {
                const auto end = dollarQuoted(i);
                if (!end) {  // a lone dollar: the server refuses it
                    out << Token{Token::Symbol, QString(c), i};
                    ++i;
                } else if (*end < 0) {
                    return unclosed(i);
                } else {
                    out << Token{Token::Text, QString(), i};
                    i = *end;
                }
            } else if (wordStart(c)) {
                qsizetype j = i + 1;
                while (j < n && wordPart(s_[j])) ++j;
                const QString word = s_.mid(i, j - i);
                // E'...': PostgreSQL's string with backslash escapes.
                if (pg_ && j < n && s_[j] == QLatin1Char('\'') &&
                    word.compare(QLatin1String("e"), Qt::CaseInsensitive) == 0) {
                    if (!quoted(j, QLatin1Char('\''), true, Token::Text, out)) return unclosed(j);
                    i = j;
                } else {
                    out << Token{Token::Word, word, i};
                    i = j;
                }
            } else if (c.isDigit()) {
                qsizetype j = i + 1;
                while (j < n && (s_[j].isLetterOrNumber() || s_[j] == QLatin1Char('.') ||
                                 s_[j] == QLatin1Char('_')))
                    ++j;
                out << Token{Token::Symbol, s_.mid(i, j - i), i};
                i = j;
            } else {
                out << Token{Token::Symbol, QString(c), i};
                ++i;
            }
        }
        return std::nullopt;
    }

  private:
    QString unclosed(qsizetype at) const {
        return QStringLiteral("its quoted text %1 is not closed").arg(excerpt(s_, at));
    }

    // Past the comment starting at i; -1 when it does not end. PostgreSQL's comments nest.
    qsizetype commentEnd(qsizetype i) const {
        const qsizetype n = s_.size();
        int depth = 1;
        i += 2;
        while (i < n) {
            if (pg_ && s_[i] == QLatin1Char('/') && i + 1 < n && s_[i + 1] == QLatin1Char('*')) {
                ++depth;
                i += 2;
            } else if (s_[i] == QLatin1Char('*') && i + 1 < n && s_[i + 1] == QLatin1Char('/')) {
                i += 2;
                if (--depth == 0) return i;
            } else {
                ++i;
            }
        }
        return -1;
    }

    // Text or a name between quotes starting at i, a doubled quote standing for one (and a
    // backslash escaping the next character where escapes is set). False when it does not end.
    bool quoted(qsizetype& i, QChar quote, bool escapes, Token::Kind kind, QList<Token>& out) {
        const qsizetype n = s_.size();
        const qsizetype start = i;
        QString text;
        for (qsizetype j = i + 1; j < n; ++j) {
            if (escapes && s_[j] == QLatin1Char('\\')) {
                if (++j < n) text += s_[j];
                continue;
            }
            if (s_[j] != quote) {
                text += s_[j];
                continue;
            }
            if (j + 1 < n && s_[j + 1] == quote) {
                text += quote;
                ++j;
                continue;
            }
            out << Token{kind, text, start};
            i = j + 1;
            return true;
        }
        return false;
    }

    // PostgreSQL's $tag$...$tag$ starting at i: past its end, -1 when it does not end, nullopt
    // when no tag starts here.
    std::optional<qsizetype> dollarQuoted(qsizetype i) const {
        const qsizetype n = s_.size();
        qsizetype j = i + 1;
        if (j < n && (s_[j].isLetter() || s_[j] == QLatin1Char('_') || s_[j].unicode() >= 0x80)) {
            while (j < n && (s_[j].isLetterOrNumber() || s_[j] == QLatin1Char('_') ||
                             s_[j].unicode() >= 0x80))
                ++j;
        }
        if (j >= n || s_[j] != QLatin1Char('$')) return std::nullopt;
        const QString tag = s_.mid(i, j - i + 1);
        const qsizetype end = s_.indexOf(tag, j + 1);
        return end < 0 ? -1 : end + tag.size();
    }

    bool pg_;
    const QString& s_;
};

bool is(const Token& t, const char* word) {
    return t.kind == Token::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isSymbol(const Token& t, char c) {
    return t.kind == Token::Symbol && t.text.size() == 1 && t.text[0] == QLatin1Char(c);
}

// Words that have no place in a query that reads, with what they would do.
QString whatWordDoes(const Token& t) {
    if (t.kind != Token::Word) return {};
    static const struct {
        const char* word;
        const char* does;
    } words[] = {
        {"insert", "which changes data"},
        {"update", "which changes data"},
        {"delete", "which changes data"},
        {"merge", "which changes data"},
        {"truncate", "which changes data"},
        {"into", "which writes rows into a table"},
        {"create", "which changes the database's tables"},
        {"drop", "which changes the database's tables"},
        {"alter", "which changes the database's tables"},
        {"reindex", "which changes the database's tables"},
        {"vacuum", "which rewrites the database"},
        {"attach", "which opens another database file"},
        {"detach", "which closes a database of the connection"},
        {"pragma", "which changes how the database works"},
        {"grant", "which changes who may do what"},
        {"revoke", "which changes who may do what"},
    };
    for (const auto& w : words)
        if (is(t, w.word)) return QLatin1String(w.does);
    return {};
}

// Functions that change the database, its server or files, reach other servers, or run text as
// statements of their own. The read-only transaction stops what writes; these are refused before.
bool forbiddenFunction(const QString& name) {
    const QString f = name.toLower();
    static const QStringList names{
        // SQLite
        "load_extension", "readfile", "writefile", "edit", "fsdir", "zipfile", "fts3_tokenizer",
        // PostgreSQL
        "setval", "nextval", "set_config", "pg_notify", "pg_terminate_backend", "pg_cancel_backend",
        "pg_reload_conf", "pg_rotate_logfile", "pg_promote", "pg_stat_file",
        "pg_import_system_collations", "pg_log_backend_memory_contexts", "pg_current_xact_id",
        "lowrite", "loread"};
    static const QStringList prefixes{
        "sqlar_",          "sqlite_db",      "lo_",          "dblink",       "pg_advisory",
        "pg_try_advisory", "pg_replication", "pg_logical",   "pg_create_",   "pg_drop_",
        "pg_copy_",        "pg_ls_",         "pg_read_",     "pg_file_",     "pg_stat_reset",
        "pg_sleep",        "pg_switch_",     "pg_wal_",      "pg_backup",    "pg_start_backup",
        "pg_stop_backup",  "txid_",          "query_to_xml", "cursor_to_xml"};
    if (names.contains(f)) return true;
    for (const QString& p : prefixes)
        if (f.startsWith(p)) return true;
    return false;
}

}  // namespace

QString readOnlyProblem(Engine engine, const QString& sql) {
    QList<Token> tokens;
    if (const auto unreadable = Lexer(engine, sql).run(tokens)) return *unreadable;
    // Closing semicolons end the one statement; anything after another one is a second.
    while (!tokens.isEmpty() && isSymbol(tokens.last(), ';')) tokens.removeLast();
    if (tokens.isEmpty()) return QStringLiteral("it is empty");
    for (const Token& t : tokens)
        if (isSymbol(t, ';'))
            return QStringLiteral("it holds a second statement %1").arg(excerpt(sql, t.at));
    qsizetype first = 0;
    while (first < tokens.size() && isSymbol(tokens[first], '(')) ++first;
    if (first == tokens.size() || !(is(tokens[first], "select") || is(tokens[first], "with"))) {
        const Token& t = tokens[qMin(first, tokens.size() - 1)];
        return QStringLiteral("it begins with %1")
            .arg(t.kind == Token::Word ? t.text.toUpper() : sql.mid(t.at).simplified().left(20));
    }
    for (qsizetype i = first; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const Token* next = i + 1 < tokens.size() ? &tokens[i + 1] : nullptr;
        if (is(t, "for") && next &&
            (is(*next, "update") || is(*next, "share") || is(*next, "no") || is(*next, "key"))) {
            const qsizetype end = next->at + next->text.size();
            return QStringLiteral("it locks rows (\"%1\"), which only a change needs")
                .arg(sql.mid(t.at, end - t.at).simplified());
        }
        if (const QString does = whatWordDoes(t); !does.isEmpty())
            return QStringLiteral("it holds %1, %2").arg(t.text.toUpper(), does);
        if ((t.kind == Token::Word || t.kind == Token::Name) && next && isSymbol(*next, '(') &&
            forbiddenFunction(t.text))
            return QStringLiteral("it calls %1(), which may change the database or reach beyond it")
                .arg(t.text.toLower());
    }
    return {};
}

}  // namespace tolvane::db

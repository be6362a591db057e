// The reader and writer of comma-separated records. The reader walks the text once, keeping
// the line number where each record starts so that a rejected record can be named by it.
#include "equipment/csv.h"

namespace tolvane::equipment {

namespace {

class CsvReader {
  public:
    explicit CsvReader(QStringView text) : text_(text), n_(text.size()) {}

    QList<CsvRecord> readAll() {
        QList<CsvRecord> records;
        while (i_ < n_) {
            if (atLineEnd()) {  // a blank line is no record
                skipLineEnd();
                continue;
            }
            records << readRecord();
        }
        return records;
    }

  private:
    bool atLineEnd() const { return i_ < n_ && (text_[i_] == u'\n' || text_[i_] == u'\r'); }

    // Consumes one line end: CRLF, LF or a lone CR.
    void skipLineEnd() {
        if (text_[i_] == u'\r' && i_ + 1 < n_ && text_[i_ + 1] == u'\n') ++i_;
        ++i_;
        ++line_;
    }

    // After a fault the rest of the physical line belongs to the damaged record.
    void skipRestOfLine() {
        while (i_ < n_ && !atLineEnd()) ++i_;
        if (i_ < n_) skipLineEnd();
    }

    CsvRecord readRecord() {
        CsvRecord rec;
        rec.line = line_;
        for (;;) {
            QString field;
            if (i_ < n_ && text_[i_] == u'"') {
                if (!readQuoted(field)) {
                    rec.fields << field;
                    rec.error = QStringLiteral("a quoted field is not closed");
                    return rec;
                }
                rec.fields << field;
                if (i_ < n_ && text_[i_] == u',') {
                    ++i_;
                    continue;
                }
                if (i_ >= n_ || atLineEnd()) {
                    if (i_ < n_) skipLineEnd();
                    return rec;
                }
                rec.error = QStringLiteral("text after a closing quote");
                skipRestOfLine();
                return rec;
            }
            while (i_ < n_ && text_[i_] != u',' && !atLineEnd()) {
                if (text_[i_] == u'"') {
                    rec.fields << field;
                    rec.error = QStringLiteral("a quote inside a field that is not quoted");
                    skipRestOfLine();
                    return rec;
                }
                field += text_[i_++];
            }
            rec.fields << field;
            if (i_ < n_ && text_[i_] == u',') {
                ++i_;
                continue;
            }
            if (i_ < n_) skipLineEnd();
            return rec;
        }
    }

    // Reads a quoted field from its opening quote; false when the text ends inside it.
    bool readQuoted(QString& field) {
        ++i_;
        while (i_ < n_) {
            const QChar c = text_[i_];
            if (c == u'"') {
                if (i_ + 1 < n_ && text_[i_ + 1] == u'"') {
                    field += u'"';
                    i_ += 2;
                    continue;
                }
                ++i_;
                return true;
            }
            // Line breaks inside a field are kept; they still advance the line count.
            if (c == u'\n' || (c == u'\r' && !(i_ + 1 < n_ && text_[i_ + 1] == u'\n'))) ++line_;
            field += c;
            ++i_;
        }
        return false;
    }

    QStringView text_;
    qsizetype n_;
    qsizetype i_ = 0;
    int line_ = 1;
};

bool needsQuotes(const QString& field) {
    if (field.isEmpty()) return false;
    if (field.front().isSpace() || field.back().isSpace()) return true;
    for (const QChar c : field)
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r') return true;
    return false;
}

}  // namespace

QList<CsvRecord> parseCsv(QStringView text) {
    return CsvReader(text).readAll();
}

QString csvLine(const QStringList& fields) {
    QStringList out;
    out.reserve(fields.size());
    for (const QString& f : fields) {
        if (!needsQuotes(f)) {
            out << f;
            continue;
        }
        QString quoted = f;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        out << QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return out.join(QLatin1Char(','));
}

}  // namespace tolvane::equipment

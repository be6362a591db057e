// Drawings from other programs: the corpus of tests/data/dxf (made by make_dxf_corpus.py with
// ezdxf, in every version it writes, ASCII and binary, and copies damaged by hand) opens as
// each file's name says; the recovering read repairs each damage with its audit line; old
// texts read from their code page.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "cad/dxf.h"

using namespace tolvane::cad;

namespace {

QString corpus() {
    return QStringLiteral(TOLVANE_TEST_DATA "/dxf");
}

QString corpusFile(const QString& name) {
    return corpus() + QLatin1Char('/') + name;
}

// The first line where two files differ, for a failure's message; empty when they are alike.
std::string firstDifference(const QByteArray& a, const QByteArray& b) {
    const QList<QByteArray> la = a.split('\n'), lb = b.split('\n');
    for (qsizetype i = 0; i < std::max(la.size(), lb.size()); ++i) {
        const QByteArray x = la.value(i), y = lb.value(i);
        if (x != y)
            return QStringLiteral("line %1: '%2' / '%3' after '%4'")
                .arg(i + 1)
                .arg(QString::fromUtf8(x), QString::fromUtf8(y),
                     QString::fromUtf8(la.value(i - 2) + "|" + la.value(i - 1)))
                .toStdString();
    }
    return {};
}

size_t entityCount(const Document& doc) {
    size_t n = doc.modelSpace().entities.size();
    for (const Space& s : doc.layouts()) n += s.entities.size();
    return n;
}

const Entity* firstOfKind(const Document& doc, EntityKind kind) {
    for (const Entity& e : doc.modelSpace().entities) {
        if (e.kind == kind) return &e;
    }
    return nullptr;
}

}  // namespace

// Every file of the corpus, strict and recovering: ok_ files open whole, audit_ files open
// with what their audit says, recover_ files only through the recovering read, refuse_
// files not at all. A binary file reads as the ASCII one of the same drawing.
TEST(CadDxfCorpus, EveryFileOpensAsItsNameSays) {
    const QStringList files = QDir(corpus()).entryList({"*.dxf"}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 40);
    int binaries = 0;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QString path = corpusFile(name);
        if (name.startsWith("ok_")) {
            DxfAudit audit;
            const Document doc = loadDxf(path, &audit);
            EXPECT_EQ(audit.summary(), "nothing dropped or changed")
                << audit.lines.join('\n').toStdString();
            EXPECT_GE(entityCount(doc), 8u);
            ASSERT_NE(doc.block("AMP_S"), nullptr);
            const Entity* insert = firstOfKind(doc, EntityKind::Insert);
            ASSERT_NE(insert, nullptr);
            ASSERT_NE(insert->attribute("TL_SYSNAME"), nullptr);
            EXPECT_EQ(insert->attribute("TL_SYSNAME")->text, "AMP-01");
            if (name.endsWith("_binary.dxf")) {
                ++binaries;
                EXPECT_EQ(audit.format, DxfFormat::Binary);
                QString ascii = name;
                ascii.replace("_binary.dxf", ".dxf");
                EXPECT_EQ(firstDifference(writeDxf(doc), writeDxf(loadDxf(corpusFile(ascii)))), "");
            } else {
                EXPECT_EQ(audit.format, DxfFormat::Ascii);
            }
        } else if (name.startsWith("audit_")) {
            DxfAudit audit;
            EXPECT_NO_THROW(loadDxf(path, &audit));
            EXPECT_NE(audit.summary(), "nothing dropped or changed");
            EXPECT_FALSE(audit.lines.isEmpty());
        } else if (name.startsWith("recover_")) {
            EXPECT_THROW(loadDxf(path), DxfError);
            DxfAudit audit;
            Document doc;
            EXPECT_NO_THROW(doc = recoverDxfFile(path, &audit));
            EXPECT_FALSE(audit.lines.isEmpty());
            EXPECT_GT(entityCount(doc), 0u);
            // What the recovering read made is a drawing like any other: it saves and opens.
            DxfAudit again;
            EXPECT_NO_THROW(readDxf(writeDxf(doc), &again));
            EXPECT_EQ(again.summary(), "nothing dropped or changed");
        } else {
            ASSERT_TRUE(name.startsWith("refuse_"));
            EXPECT_THROW(loadDxf(path), DxfError);
            EXPECT_THROW(recoverDxfFile(path, nullptr), DxfError);
        }
    }
    EXPECT_GE(binaries, 10);
}

// Each damage, alone in its file, is repaired or noted with its own audit line, and what is
// left is the drawing that was damaged less what could not be placed.
TEST(CadDxfCorpus, EachRepairHasItsReportLine) {
    const Document whole = loadDxf(corpusFile("ok_r2000.dxf"));
    const size_t all = entityCount(whole);
    struct Case {
        const char* file;
        bool strict;       // the strict read opens it
        const char* line;  // a part of its audit line
        int dropped;       // entities fewer than the whole drawing
    };
    const Case cases[] = {
        {"recover_block_without_name.dxf", false, "block without a name named AMP_S", 0},
        {"recover_r12_block_without_name.dxf", false, "block without a name named RECOVERED_1", 0},
        {"audit_block_without_record.dxf", true, "block AMP_S had no block record: made anew", 0},
        {"audit_layout_link_broken.dxf", true, "layout Layout1 was linked to its block", 0},
        {"audit_duplicate_handles.dxf", true, "was used twice: renumbered", 0},
        {"audit_empty_handle.dxf", true, "empty handle: renumbered", 0},
        {"audit_data_after_eof.dxf", true, "bytes after EOF ignored", 0},
        {"audit_binary_data_after_eof.dxf", true, "bytes after EOF ignored", 0},
        {"audit_stray_attrib.dxf", true, "ATTRIB without its insert or polyline dropped", 0},
        {"recover_bad_number.dxf", false, "CIRCLE dropped: number expected for group 40", 1},
        {"recover_bad_group_code.dxf", false, "skipped: group code expected, found 'ZZ'", 0},
        {"recover_cut_short.dxf", false, "the file ends without EOF: what it holds is kept", 9},
        {"recover_entities_not_closed.dxf", false, "section not closed: closed here", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DxfAudit audit;
        const Document doc = c.strict ? loadDxf(corpusFile(c.file), &audit)
                                      : recoverDxfFile(corpusFile(c.file), &audit);
        EXPECT_TRUE(audit.lines.join('\n').contains(c.line))
            << audit.lines.join('\n').toStdString();
        if (QString(c.file).contains("r12") || QString(c.file).contains("binary")) continue;
        EXPECT_EQ(entityCount(doc) + size_t(c.dropped), all)
            << audit.lines.join('\n').toStdString();
        ASSERT_NE(doc.block("AMP_S"), nullptr);
    }
    // The block named anew keeps what it holds, and its insert finds it.
    const Document named =
        recoverDxfFile(corpusFile("recover_r12_block_without_name.dxf"), nullptr);
    ASSERT_NE(named.block("RECOVERED_1"), nullptr);
    EXPECT_EQ(named.block("RECOVERED_1")->entities.size(), 3u);
    // The layout relinked holds its line again, under its own name.
    const Document relinked = loadDxf(corpusFile("audit_layout_link_broken.dxf"));
    ASSERT_EQ(relinked.layouts().size(), 1u);
    EXPECT_EQ(relinked.layouts()[0].name, "Layout1");
    EXPECT_EQ(relinked.layouts()[0].entities.size(), 1u);
}

// Texts of files in a code page read into Unicode, characters beyond the page from their
// \U+ escapes, ASCII or binary; saved, they are written as the saved version holds them
// (UTF-8) and read back alike here and by ezdxf.
TEST(CadDxfCorpus, CodePageTextsReadAndWriteBack) {
    const struct {
        const char* page;
        QString text;
    } pages[] = {{"ansi_1251", QStringLiteral("Кабель Ω ✓")},
                 {"ansi_1252", QStringLiteral("Câble €5 ✓")},
                 {"ansi_932", QStringLiteral("配線図 ✓")}};
    QTemporaryDir dir;
    for (const auto& p : pages) {
        for (const char* version : {"r12", "r2000", "r2004", "r12_binary"}) {
            const QString name =
                QStringLiteral("ok_%1_%2.dxf")
                    .arg(version, p.page)
                    .replace("r12_binary_" + QString(p.page), "r12_" + QString(p.page) + "_binary");
            SCOPED_TRACE(name.toStdString());
            const Document doc = loadDxf(corpusFile(name));
            const Entity* text = firstOfKind(doc, EntityKind::Text);
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(text->text, p.text);
            const QString path = dir.filePath(name);
            ASSERT_TRUE(saveDxf(doc, path));
            EXPECT_EQ(firstOfKind(loadDxf(path), EntityKind::Text)->text, p.text);
            QProcess ezdxf;
            ezdxf.start("/usr/bin/python3",
                        {"-c",
                         "import sys, ezdxf\n"
                         "t = ezdxf.readfile(sys.argv[1]).modelspace().query('TEXT')[0]\n"
                         "sys.stdout.buffer.write(t.dxf.text.encode('utf-8'))",
                         path});
            ASSERT_TRUE(ezdxf.waitForFinished(60000));
            EXPECT_EQ(QString::fromUtf8(ezdxf.readAllStandardOutput()), p.text);
        }
    }
}

// A file with nothing of a drawing is refused by both reads, with the reason.
TEST(CadDxfCorpus, UnrecoverableFilesAreRefusedWithTheReason) {
    try {
        recoverDxfFile(corpusFile("refuse_not_dxf.dxf"), nullptr);
        ADD_FAILURE() << "recovered";
    } catch (const DxfError& e) {
        EXPECT_TRUE(e.reason().contains("group code expected")) << e.reason().toStdString();
    }
    try {
        recoverDxf(QByteArray(), nullptr);
        ADD_FAILURE() << "recovered";
    } catch (const DxfError& e) {
        EXPECT_EQ(e.reason(), "empty file");
    }
}

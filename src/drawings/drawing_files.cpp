#include "drawings/drawing_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cad/dxf.h"
#include "cad/geometry.h"
#include "cad/pictures.h"
#include "db/database.h"
#include "drawings/standard_drawings.h"
#include "drawings/title_block.h"
#include "projects/drawing_registry.h"
#include "shell/app_folder.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

const QString kFilter = QStringLiteral("DXF Files (*.dxf *.DXF)");
// Save As offers both forms of DXF under the same extension; the type chosen decides.
const QString kBinaryType = QStringLiteral("Binary DXF Files (*.dxf *.DXF)");
const QString kSaveFilter = kFilter + QStringLiteral(";;") + kBinaryType;

// Where the reader stopped, for the user: "line 12: number expected ...".
QString readerReason(const cad::DxfError& e) {
    return e.line() > 0 ? QStringLiteral("line %1: %2").arg(e.line()).arg(e.reason()) : e.reason();
}

// The audit of a file opened, in the command history: its summary, then each line.
void historyOfAudit(Ui& ui, const QString& heading, const cad::DxfAudit& audit) {
    ui.history(QStringLiteral("%1: %2").arg(heading, audit.summary()));
    for (const QString& line : audit.lines) ui.history(QStringLiteral("  ") + line);
}

// A drawing whose file would not open again is not written at all.
QString unreadableMessage(const cad::DxfError& e) {
    return QStringLiteral(
               "Unsuccessful Save. The drawing cannot be saved: %1. Nothing was "
               "written; the drawing file and its backup are as they were.")
        .arg(e.reason());
}

}  // namespace

int saveVersionChoice(const QString& stored) {
    bool ok = false;
    const int n = stored.trimmed().toInt(&ok);
    return ok && n >= 2 && n <= 8 ? n : 8;
}

cad::DxfVersion dxfVersionOfChoice(int choice) {
    switch (choice) {
        case 2:
        case 3:
        case 4:
            return cad::DxfVersion::R12;
        case 5:
            return cad::DxfVersion::R13;
        case 6:
            return cad::DxfVersion::R14;
        case 7:
            return cad::DxfVersion::R2000;
        default:
            return cad::DxfVersion::R2007;
    }
}

cad::DxfVersion DrawingFiles::saveVersion() const {
    return dxfVersionOfChoice(
        saveVersionChoice(settings_ ? settings_->read(setting::DwgSaveVer) : QString()));
}

// What a save in an older release could not keep, in the command history; a save in R2007
// keeps everything and says nothing.
void DrawingFiles::historyOfSave(const QString& path, cad::DxfVersion version,
                                 const cad::DxfAudit& lost) {
    if (version == cad::DxfVersion::R2007) return;
    historyOfAudit(ui_,
                   QStringLiteral("Saved %1 as DXF %2")
                       .arg(QFileInfo(path).fileName(), cad::dxfReleaseName(version)),
                   lost);
}

DrawingFiles::DrawingFiles(RunState& run, Ui& ui, projects::DrawingRegistry& registry,
                           const SettingsStore* settings)
    : settings_(settings), run_(run), ui_(ui), registry_(registry) {}

QStringList DrawingFiles::templates() const {
    const QDir dir(run_.appFolder() + QStringLiteral("/TemplateDrawings"));
    QStringList names;
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        if (f.suffix().compare(QLatin1String("dxf"), Qt::CaseInsensitive) == 0)
            names << f.fileName();
    }
    return names;
}

QString DrawingFiles::defaultTemplate() const {
    const QString own = settings_ ? settings_->read(setting::TemplateDrawing).trimmed() : QString();
    if (!own.isEmpty() && QFileInfo(own).isFile()) return QFileInfo(own).absoluteFilePath();
    return appfolder::findNoCase(run_.appFolder() + QStringLiteral("/templatedrawing"),
                                 QStringLiteral("TolvaneDefault.dxf"));
}

QString DrawingFiles::blocksFolder() const {
    return run_.appFolder() + QStringLiteral("/Blocks");
}

QString DrawingFiles::nextUntitledName() {
    return QStringLiteral("Drawing%1").arg(++untitledCount_);
}

std::unique_ptr<Drawing> DrawingFiles::load(const QString& path, bool asTemplate,
                                            cad::DxfAudit* audit, bool recover) {
    cad::Document doc = path.isEmpty() ? cad::Document()
                        : recover      ? cad::recoverDxfFile(path, audit)
                                       : cad::loadDxf(path, audit);
    if (asTemplate && !path.isEmpty()) doc.restartHandlesAt(standard::kFirstDrawingHandle);
    standard::prepareDrawing(doc, blocksFolder());
    auto drawing = std::make_unique<Drawing>(std::move(doc));
    drawing->setModified(false);
    return drawing;
}

std::unique_ptr<Drawing> DrawingFiles::newDrawing() {
    const QStringList names = templates();
    QStringList items = names;
    items << QStringLiteral("(No template)");
    const std::optional<int> chosen = ui_.choose(QStringLiteral("Select a Template"), items);
    if (!chosen) return nullptr;
    const QString path =
        *chosen < names.size()
            ? run_.appFolder() + QStringLiteral("/TemplateDrawings/") + names[*chosen]
            : QString();
    return newFromTemplate(path);
}

std::unique_ptr<Drawing> DrawingFiles::newFromTemplate(const QString& templatePath) {
    try {
        std::unique_ptr<Drawing> d = load(templatePath, true);
        d->setUntitledName(nextUntitledName());
        fillTitle(*d);
        return d;
    } catch (const cad::DxfError& e) {
        ui_.message(QStringLiteral("The template %1 cannot be read: %2")
                        .arg(QDir::toNativeSeparators(templatePath), e.reason()),
                    MsgButtons::Ok, MsgIcon::Warning);
        return nullptr;
    }
}

void DrawingFiles::fillTitle(Drawing& drawing, const QString& path) {
    const QString file = path.isEmpty() ? drawing.path() : path;
    projects::DrawingTitle title = registry_.title(file);
    if (file.isEmpty()) title.drawingName = drawing.untitledName();
    if (titleblock::fill(drawing.document(), title)) drawing.changed(false);
}

std::unique_ptr<Drawing> DrawingFiles::open(const QString& path) {
    const projects::OpenLock lock = registry_.lockForOpen(path);
    if (lock == projects::OpenLock::Cancelled) return nullptr;
    cad::DxfAudit audit;
    std::unique_ptr<Drawing> d;
    try {
        d = load(path, false, &audit);
    } catch (const cad::DxfError& e) {
        if (lock == projects::OpenLock::Opened) registry_.releaseLock(path);
        return offerRecovery(path, e);
    }
    formats_[path] = audit.format;
    // Never silent: what the read dropped or changed, or that it kept everything.
    historyOfAudit(ui_, QStringLiteral("Audit of %1").arg(QFileInfo(path).fileName()), audit);
    try {
        d->setPath(path);
        d->setReadOnly(lock == projects::OpenLock::ReadOnly);
        fillTitle(*d);
        // A save killed before its rename left its temporary file; the lock says no save of
        // another user is under way.
        if (lock == projects::OpenLock::Opened) cad::removeSaveLeftovers(path);
        const QStringList cut = cad::cutShortBlocks(d->document());
        if (!cut.isEmpty())
            ui_.message(QStringLiteral("Some blocks of this drawing insert other blocks too deeply "
                                       "or too many times to be shown in full; they are shown cut "
                                       "short: %1")
                            .arg(cut.mid(0, 10).join(QStringLiteral(", "))),
                        MsgButtons::Ok, MsgIcon::Warning);
        // Pictures are read now, before the drawing is shown, rather than while it is painted.
        const QString refused = cad::refusedPicturesMessage(cad::loadPictures(d->document()));
        if (!refused.isEmpty()) ui_.message(refused, MsgButtons::Ok, MsgIcon::Warning);
        return d;
    } catch (const cad::DxfError&) {
        if (lock == projects::OpenLock::Opened) registry_.releaseLock(path);
        ui_.message(projects::DrawingRegistry::corruptMessage(), MsgButtons::Ok, MsgIcon::Critical);
        return nullptr;
    }
}

// The damaged file is only read: what can be recovered opens as a new untitled drawing, with
// every repair in the command history and in a report, and is saved wherever the user says.
std::unique_ptr<Drawing> DrawingFiles::offerRecovery(const QString& path,
                                                     const cad::DxfError& refused) {
    const QString file = QFileInfo(path).fileName();
    if (ui_.message(projects::DrawingRegistry::corruptMessage() +
                        QStringLiteral(" (%1).\n\nRecover what can be read of %2 into a new "
                                       "drawing? The file itself is not changed.")
                            .arg(readerReason(refused), file),
                    MsgButtons::YesNo, MsgIcon::Critical,
                    QStringLiteral("Recover")) != MsgButton::Yes)
        return nullptr;
    cad::DxfAudit audit;
    std::unique_ptr<Drawing> d;
    try {
        d = load(path, false, &audit, true);
    } catch (const cad::DxfError& e) {
        ui_.history(QStringLiteral("Recovery of %1 failed: %2").arg(file, readerReason(e)));
        ui_.message(
            QStringLiteral("Open Failed. %1 cannot be recovered: %2").arg(file, readerReason(e)),
            MsgButtons::Ok, MsgIcon::Critical);
        return nullptr;
    }
    d->setUntitledName(QFileInfo(path).completeBaseName() + QStringLiteral("-recovered"));
    fillTitle(*d);
    d->setModified(true);  // never saved: closing it asks
    historyOfAudit(ui_, QStringLiteral("Recovery of %1").arg(file), audit);
    constexpr int kShown = 20;
    QStringList shown = audit.lines.mid(0, kShown);
    if (audit.lines.size() > kShown)
        shown << QStringLiteral("... and %1 more (see the command history)")
                     .arg(audit.lines.size() - kShown);
    ui_.message(QStringLiteral("%1 was recovered into the new drawing %2 (%3):\n\n%4")
                    .arg(file, d->untitledName(), audit.summary(), shown.join(QLatin1Char('\n'))),
                MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Recovery report"));
    return d;
}

cad::DxfFormat DrawingFiles::formatOf(const QString& path) const {
    const auto it = formats_.find(path);
    return it == formats_.end() ? cad::DxfFormat::Ascii : it->second;
}

QString DrawingFiles::backupPath(const QString& path) {
    const QFileInfo f(path);
    const QString suffix = f.suffix();
    if (suffix.isEmpty()) return path + QStringLiteral(".bak");
    return path.left(path.size() - suffix.size()) + QStringLiteral("bak");
}

bool DrawingFiles::save(Drawing& drawing) {
    if (drawing.untitled()) return saveUnderNewName(drawing, SaveCommand::Save);
    if (drawing.readOnly()) {
        ui_.message(QStringLiteral("This file is opened Read Only. You cannot save changes"),
                    MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    const QString path = drawing.path();
    const QString backup = backupPath(path);
    try {
        // The previous version is copied to the backup once the new file is written and read
        // back, just before it takes the old one's place.
        fillTitle(drawing, path);
        const cad::DxfVersion version = saveVersion();
        cad::DxfAudit lost;
        const bool saved = cad::saveDxf(
            drawing.document(), path,
            [&] {
                if (!QFile::exists(path)) return true;
                QFile::remove(backup);
                return QFile::copy(path, backup);
            },
            formatOf(path), version, &lost);
        if (saved) historyOfSave(path, version, lost);
        if (!saved) {
            ui_.message(QStringLiteral("Unsuccessful Save. The previous version could not be "
                                       "copied to: ") +
                            backup,
                        MsgButtons::Ok, MsgIcon::Critical);
            return false;
        }
    } catch (const cad::DxfUnreadableError& e) {
        ui_.message(unreadableMessage(e), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    } catch (const cad::DxfError&) {
        ui_.message(QStringLiteral("Unsuccessful Save. Previous Version saved as: ") + backup,
                    MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    cad::removeSaveLeftovers(path);
    drawing.setModified(false);
    return true;
}

bool DrawingFiles::saveAs(Drawing& drawing) {
    return saveUnderNewName(drawing, SaveCommand::SaveAs);
}

bool DrawingFiles::saveUnderNewName(Drawing& drawing, SaveCommand command) {
    const QString name =
        drawing.untitled() ? drawing.untitledName() : QFileInfo(drawing.path()).completeBaseName();
    FileDialogOptions options;
    options.title = QStringLiteral("Save ") + name + QStringLiteral(" as:");
    options.filter = kSaveFilter;
    // Saved under a new name, a drawing keeps the form of the file it came from unless
    // another file type is chosen.
    QString type = !drawing.untitled() && formatOf(drawing.path()) == cad::DxfFormat::Binary
                       ? kBinaryType
                       : kFilter;
    options.fileType = &type;
    // A new drawing is proposed among the project's drawings.
    const QString drawings =
        appfolder::findNoCase(run_.currentProjectPath, QStringLiteral("DRAWINGS"));
    options.folder =
        drawing.untitled() && !run_.currentProjectPath.isEmpty() && QFileInfo(drawings).isDir()
            ? drawings
            : run_.currentProjectPath;
    options.proposed = name + QStringLiteral(".dxf");
    options.mustExist = false;
    std::optional<QString> chosen = ui_.saveFile(options);
    if (!chosen || chosen->isEmpty()) return false;
    QString path = QFileInfo(*chosen).absoluteFilePath();
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".dxf");
    const cad::DxfFormat format =
        type == kBinaryType ? cad::DxfFormat::Binary : cad::DxfFormat::Ascii;
    try {
        fillTitle(drawing, path);
        const cad::DxfVersion version = saveVersion();
        cad::DxfAudit lost;
        cad::saveDxf(drawing.document(), path, {}, format, version, &lost);
        historyOfSave(path, version, lost);
    } catch (const cad::DxfUnreadableError& e) {
        ui_.message(unreadableMessage(e), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    } catch (const cad::DxfError&) {
        ui_.message(QStringLiteral("Unsuccessful save. Possible causes are the file is read "
                                   "only,\nor you do not have wirte access. No save or database "
                                   "modification."),
                    MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    if (!drawing.untitled() && drawing.path() != path) {
        try {
            registry_.releaseLock(drawing.path());
        } catch (const db::DbError&) {
            ui_.message(QStringLiteral("Unable to unlock original drawing. Verify path and "
                                       "filename and then manually unlock drawing in the Project "
                                       "Drawings database."),
                        MsgButtons::Ok, MsgIcon::Warning);
        }
    }
    if (!registry_.registerOpen(path))
        ui_.message(QStringLiteral("A drawing with this name already exits in the database. ") +
                        (command == SaveCommand::Save ? QStringLiteral("No database update.")
                                                      : QStringLiteral("No update.")),
                    MsgButtons::Ok, MsgIcon::Information);
    drawing.setPath(path);
    formats_[path] = format;
    drawing.setReadOnly(false);
    drawing.setModified(false);
    return true;
}

bool DrawingFiles::mayClose(Drawing& drawing) {
    if (!drawing.modified() || drawing.readOnly()) return true;
    const QString name = drawing.untitled() ? drawing.untitledName() : drawing.path();
    switch (ui_.message(QStringLiteral("Save changes to drawing ") + name + QLatin1Char('?'),
                        MsgButtons::YesNoCancel, MsgIcon::Question)) {
        case MsgButton::Yes:
            return save(drawing);
        case MsgButton::No:
            return true;
        default:
            return false;
    }
}

void DrawingFiles::closed(const Drawing& drawing) {
    if (drawing.untitled()) return;
    if (registry_.find(drawing.path()))
        registry_.releaseLock(drawing.path());
    else
        registry_.registerDrawing(drawing.path());
}

}  // namespace tolvane

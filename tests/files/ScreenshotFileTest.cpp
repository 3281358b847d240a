#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "capture/ScreenshotFormat.h"
#include "files/ScreenshotFile.h"
#include "flows/SaveFlow.h"
#include "platform/FolderCalls.h"
#include "platform/StdFileSystem.h"
#include "platform/Utf8Path.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#ifdef _WIN32
#include "platform/win32/FileCalls.h"
#include "platform/win32/SystemErrorText.h"
#endif

using namespace kvd;
using test::ReadAll;
using test::WriteRaw;
namespace fs = std::filesystem;

namespace {

struct TempFolder {
    QTemporaryDir dir;
    fs::path path{dir.path().toStdString()};
};

#ifndef _WIN32
// Lowers the largest file this process may write, so that writing a screenshot
// fails part-way as on a full disk; the old limit comes back on destruction.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    rlimit old_{};
};

// While one of these lives (`when`), the tests act as a user who may write
// `file` but not add to `folders`. Folder permissions do not bind the superuser:
// run as root, the tests act as the unprivileged user "nobody".
class InLockedFolders {
public:
    InLockedFolders(const fs::path& file, std::vector<fs::path> folders, bool when)
        : folders_(when ? std::move(folders) : std::vector<fs::path>{}) {
        if (!when)
            return;
        fs::permissions(file, fs::perms(0666), fs::perm_options::add);
        for (const fs::path& folder : folders_)
            fs::permissions(folder, fs::perms(0555)); // read and enter, for all
        switched_ = geteuid() == 0 && seteuid(65534) == 0;
    }
    ~InLockedFolders() {
        if (switched_ && seteuid(0) != 0)
            qFatal("could not become root again");
        for (const fs::path& folder : folders_)
            fs::permissions(folder, fs::perms::owner_all);
    }

private:
    std::vector<fs::path> folders_;
    bool switched_ = false;
};

// The system's folder calls, with another user's change to the folders run once,
// just before the writer's call number `at` (from 0).
class ChangeBeforeCall final : public FolderCalls {
public:
    ChangeBeforeCall(int at, std::function<void()> change) : at_(at), change_(std::move(change)) {
        UseFolderCalls(this);
    }
    ~ChangeBeforeCall() override { UseFolderCalls(nullptr); }
    ChangeBeforeCall(const ChangeBeforeCall&) = delete;
    ChangeBeforeCall& operator=(const ChangeBeforeCall&) = delete;
    bool changed() const { return calls_ > at_; }

    using In = const HeldFolder&;
    using Name = const fs::path&;
    HeldFolder openStart(Name start) override { return Call().openStart(start); }
    HeldFolder openFolder(In in, Name name) override { return Call().openFolder(in, name); }
    FolderEntry look(In in, Name name) override { return Call().look(in, name); }
    fs::path readLink(In in, Name name) override { return Call().readLink(in, name); }
    NewFile createNew(In in, Name name) override { return Call().createNew(in, name); }
    NewFile openExisting(In in, Name name) override { return Call().openExisting(in, name); }
    int mayWrite(In in, Name name) override { return Call().mayWrite(in, name); }
    int move(In in, Name from, Name to, bool replace) override {
        return Call().move(in, from, to, replace);
    }
    void remove(In in, Name name) override { Call().remove(in, name); }
    std::size_t nameLimit(In in) override { return Call().nameLimit(in); }
    unsigned newFileMode() override { return Call().newFileMode(); }

private:
    FolderCalls& Call() {
        if (calls_++ == at_)
            change_();
        return SystemFolderCalls();
    }

    int at_;
    std::function<void()> change_;
    int calls_ = 0;
};
#endif

#ifdef _WIN32
// Windows' documented answers, for one save, where Wine gives none: it has no
// virus scanner to hold a file, and its CreateSymbolicLinkW makes no link. Moves
// are refused `refusals` times (-1: every time) with `refusal`, then made; the
// file named `link` answers as a symbolic link to `names`, made by `linkOwner`,
// in a folder of this user's. With `undeletable`, the moved file can be neither
// renamed nor deleted, as on a share where the user has "Write" but not
// "Modify". No wait between moves really waits; `waits` counts them.
struct WindowsAnswers {
    static inline int refusals = 0;
    static inline DWORD refusal = 0;
    static inline bool undeletable = false;
    static inline int waits = 0;
    static inline std::wstring link;
    static inline std::wstring names;
    static inline std::wstring linkOwner;
    // Whether other users may add to the folders, as their access lists say.
    static inline bool othersMayAdd = true;
    // Whether the files refuse an open for DELETE, as where the user may not
    // delete or rename them; else Windows' own answer.
    static inline bool deleteDenied = false;
    static inline DWORD (*windowsOpenForDelete)(const std::wstring&) = nullptr;
    static inline const wchar_t* const me = L"S-1-5-21-1-2-3-1001";

    FileCalls windows = CurrentFileCalls();

    WindowsAnswers() {
        refusals = 0;
        undeletable = false;
        othersMayAdd = true;
        deleteDenied = false;
        waits = 0;
        link.clear();
        FileCalls& calls = CurrentFileCalls();
        calls.move = [](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
            // Windows as it is unless long paths are enabled for it: a
            // path of MAX_PATH (260) characters or more is not found unless it
            // is in the long form, "\\?\C:\...", which takes no '/' for '\'.
            for (const std::wstring_view path : {std::wstring_view(from), std::wstring_view(to)}) {
                const bool longForm = path.starts_with(L"\\\\?\\");
                if (longForm ? path.find(L'/') != path.npos : path.size() >= MAX_PATH) {
                    SetLastError(longForm ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
                    return FALSE;
                }
            }
            if (refusals == 0)
                return MoveFileExW(from, to, flags);
            if (refusals > 0)
                --refusals;
            SetLastError(refusal);
            return FALSE;
        };
        calls.remove = [](LPCWSTR path) -> BOOL {
            if (!undeletable)
                return DeleteFileW(path);
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        };
        calls.wait = [](DWORD) { ++waits; };
        calls.reparsePoint = [](const std::wstring& path, ReparsePoint& point) {
            if (link.empty() || fs::path(path).filename() != link)
                return false;
            point = {IO_REPARSE_TAG_SYMLINK, names};
            return true;
        };
        calls.ownerOf = [](const std::wstring& path) {
            return fs::path(path).filename() == link ? linkOwner : std::wstring(me);
        };
        calls.ownUser = [] { return std::vector<std::wstring>{me}; };
        calls.othersMayAdd = [](const std::wstring&) { return othersMayAdd; };
        windowsOpenForDelete = calls.openForDelete;
        calls.openForDelete = [](const std::wstring& path) -> DWORD {
            return deleteDenied ? DWORD(ERROR_ACCESS_DENIED) : windowsOpenForDelete(path);
        };
    }
    ~WindowsAnswers() { CurrentFileCalls() = windows; }
    WindowsAnswers(const WindowsAnswers&) = delete;
    WindowsAnswers& operator=(const WindowsAnswers&) = delete;
};
#endif

// Puts a link at `target` to `named`: to a file of this user's that another user
// (uid 65534) linked from a folder shared by all, sticky as /tmp is, or by a
// group, or to a folder of this user's holding that file; or to a named pipe.
// Acting as another user needs root. Returns why it could not, or nothing.
const char* PlantLink(const QString& how, const fs::path& target, const fs::path& named,
                      const std::string& old) {
#ifdef _WIN32
    if (!how.startsWith("planted"))
        return "a named pipe in a folder is Unix's";
    if (how == "planted folder link")
        fs::create_directory(named);
    WriteRaw(how == "planted folder link" ? named / "shot.bmp" : named, old);
    WriteRaw(target, "stands in for the link"); // what WindowsAnswers says is one
    WindowsAnswers::link = target.filename().wstring();
    WindowsAnswers::names = named.wstring();
    WindowsAnswers::linkOwner = L"S-1-5-21-1-2-3-1002";
    return nullptr;
#else
    if (how != "pipe" && geteuid() != 0)
        return "planting a link as another user needs root";
    const bool planted = how.startsWith("planted");
    if (planted) {
        if (how == "planted folder link")
            fs::create_directory(named);
        WriteRaw(how == "planted folder link" ? named / "shot.bmp" : named, old);
        // A team's folder (set-group-id, writable by its group) or a shared one.
        fs::permissions(target.parent_path(), how == "planted group link"
                                                  ? fs::perms(02775)
                                                  : fs::perms::all | fs::perms::sticky_bit);
    } else if (mkfifo(named.c_str(), 0600) != 0) {
        return "the pipe could not be made";
    }
    fs::create_symlink(named, target);
    if (planted && lchown(target.c_str(), 65534, 65534) != 0)
        return "the link could not be given to another user";
    return nullptr;
#endif
}

} // namespace

class ScreenshotFileTest : public QObject {
    Q_OBJECT

private slots:
    // `via`: how the path reaches the file: "" directly; "link" through a symbolic
    // link from another folder, "dangling" through one to no file yet (",
    // temporary": as the temporary file); "locked folder" by a user who may write
    // the file but not its folder; "long path" through 300 characters of folders;
    // "held" while another program holds it a moment. Windows' answers (its links,
    // moves and holds) come from WindowsAnswers, as Wine gives none.
    void writesTheBytesExactly_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QByteArray>("previous");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("via");

        std::string everyValue = "BM";
        for (std::size_t i = 0; everyValue.size() < ScreenshotSize; ++i)
            everyValue += static_cast<char>(255 - i % 256);
        const std::string bitmap = test::TwoColourBitmap(11);
        const QByteArray longer(100000, 'o');
        const auto row = [&](const char* name, const char* via, const QByteArray& previous = "old",
                             const std::string& image = {}, const QString& file = "shot.bmp") {
            QTest::newRow(name) << QByteArray::fromStdString(image.empty() ? bitmap : image)
                                << previous << file << via;
        };

        row("over a longer file", "", longer);
        row("over a shorter file, every byte value", "", "BMold", everyValue);
        row("longer image data is cut to a screenshot", "", {}, bitmap + "trailing bytes");
        row("a name that is not ASCII", "", "old", {}, "Messung_Übersicht.bmp");
        row("over a link: the file it names is replaced", "link");
        row("over a link to no file yet", "dangling", {});
        row("the temporary file over a link", "link, temporary");
        row("the temporary file over a link to no file yet", "dangling, temporary", {});
        row("over a longer file in a folder that cannot be written", "locked folder", longer);
        row("a name of 250 bytes, the temporary one beside it shortened to fit", "", "old", {},
            QString(246, 'n') + ".pdf");
        row("into a folder path of 300 characters", "long path");
        row("over a file another program holds for a moment", "held");
        // Windows: a link IT made from an elevated prompt is the Administrators
        // group's, in a folder other users may add to (C:\Data to D:\Data); and
        // another user's link where only this user may add files.
        row("over an administrators' link in a shared folder", "administrators' link");
        row("over another user's link in a folder only this user may add to",
            "private folder's link");
    }

    // A replaced file keeps who may read and write it and its group, but never a
    // set-id, sticky, run or others' write bit. The new file has its mode before
    // its first byte is written.
    void aReplacedFileKeepsItsPermissions_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("private to its owner") << 0600 << 0600;
        // In a folder that gives new files its own group (set-group-id), the
        // file stays its group's.
        QTest::newRow("read for the group, in a folder of another group") << 010640 << 0640;
        QTest::newRow("read for the group") << 0640 << 0640;
        QTest::newRow("writable by everyone") << 0666 << 0664;
        QTest::newRow("set-user-id, set-group-id, sticky, run by all") << 07775 << 0664;
    }

    void aReplacedFileKeepsItsPermissions() {
#ifdef _WIN32
        QSKIP("Unix permission bits");
#else
        QFETCH(int, before);
        QFETCH(int, after);
        const TempFolder folder;
        const fs::path file = folder.path / "shot.bmp";
        test::WriteRaw(file, "old");
        const bool otherGroup = (before & 010000) != 0; // the folder's, not the file's
        if (otherGroup) {
            if (geteuid() != 0)
                QSKIP("giving a folder another group needs root");
            QCOMPARE(chown(folder.path.c_str(), uid_t(-1), 65534), 0);
            fs::permissions(folder.path, fs::perms::set_gid, fs::perm_options::add);
        }
        fs::permissions(file, fs::perms(before & 07777));
        struct stat old {};
        QCOMPARE(stat(file.c_str(), &old), 0);
        int whileWritten = -1;
        const Outcome written = WriteFileAsMade(
            [&](ByteSink& sink) {
                for (const std::string& name : test::FilesIn(folder.path))
                    if (name.starts_with("shot.bmp.part-"))
                        whileWritten = int(fs::status(folder.path / name).permissions());
                sink.write(test::TwoColourBitmap());
                return Outcome::success();
            },
            file);
        QVERIFY2(written.ok(), written.reason().c_str());
        QCOMPARE(whileWritten, after);
        QCOMPARE(int(fs::status(file).permissions()), after);
        struct stat now {};
        QCOMPARE(stat(file.c_str(), &now), 0);
        QCOMPARE(now.st_gid, old.st_gid);
#endif
    }

    void writesTheBytesExactly() {
        QFETCH(QByteArray, image);
        QFETCH(QByteArray, previous);
        QFETCH(QString, name);
        QFETCH(QString, via);
        const TempFolder folder;
        fs::path saveFolder = folder.path;
        while (via == "long path" && saveFolder.native().size() < 300)
            fs::create_directory(saveFolder /= "a folder deep in OneDrive for Business");
        const fs::path file = saveFolder / PathFromUtf8(name.toStdString());
        fs::path chosen = file;
        const bool linked =
            via.startsWith("link") || via.startsWith("dangling") || via.endsWith(" link");
        const bool temporary = via.endsWith("temporary");
        if (temporary)
            KVD_SKIP_ON_WINDOWS("symbolic links are Unix's");
#ifdef _WIN32
        const WindowsAnswers answers;
        if (via == "locked folder")
            QSKIP("folder permissions are Unix's");
        if (via == "held") {
            WindowsAnswers::refusals = 2;
            WindowsAnswers::refusal = ERROR_SHARING_VIOLATION;
        }
#else
        if (via == "held" || via.endsWith(" link"))
            QSKIP("Windows' answers, given through its calls");
#endif
        if (linked) {
            fs::create_directory(folder.path / "links");
            chosen = folder.path / "links" / "chosen.bmp";
#ifdef _WIN32
            WriteRaw(chosen, "stands in for the link");
            WindowsAnswers::link = chosen.filename().wstring();
            WindowsAnswers::names = (fs::path("..") / file.filename()).wstring();
            WindowsAnswers::linkOwner = via == "administrators' link"    ? L"S-1-5-32-544"
                                        : via == "private folder's link" ? L"S-1-5-21-1-2-3-1002"
                                                                         : WindowsAnswers::me;
            WindowsAnswers::othersMayAdd = via != "private folder's link";
#else
            fs::create_symlink(fs::path("..") / file.filename(), chosen);
#endif
        }
        if (!previous.isNull())
            WriteRaw(file, previous.toStdString());

        const Outcome written = [&] {
#ifndef _WIN32
            const InLockedFolders locked(file, {folder.path}, via == "locked folder");
#endif
            return temporary ? WriteTemporaryScreenshotFile(image.toStdString(), chosen)
                             : WriteScreenshotFile(image.toStdString(), chosen);
        }();
        QVERIFY2(written.ok(), written.reason().c_str());
        QVERIFY(ReadAll(temporary ? chosen : file) ==
                image.toStdString().substr(0, ScreenshotSize));
#ifdef _WIN32
        if (linked)
            QCOMPARE(ReadAll(chosen), std::string("stands in for the link"));
#else
        QCOMPARE(fs::is_symlink(chosen), linked && !temporary);
#endif
        if (temporary) {
            QCOMPARE(fs::exists(file), !previous.isNull());
            QVERIFY(ReadAll(file) == previous.toStdString());
            return;
        }
        // MinGW's directory listing stops at 260 characters; Qt's does not.
        const QDir listed(QString::fromStdU16String(saveFolder.u16string()));
        QCOMPARE(listed.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(),
                 linked ? 2 : 1);
        QVERIFY(StdFileSystem().fileExists(Utf8FromPath(file)));
    }

    void failureLeavesTheOldFile_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("how");

        const QByteArray frame = QByteArray::fromStdString(test::TwoColourBitmap(5));
        QTest::newRow("no screenshot yet, or one byte short of one") << frame.left(2749) << "";
        const auto row = [&](const char* name, const char* how) {
            QTest::newRow(name) << frame << how;
        };
        row("the disk fills up", "full");
        // Made as it is written, by a maker that pays no heed to a failed write.
        row("the disk fills up under a file made as it is written", "full, made as written");
        // The folder takes no new file, so the file is written over in place.
        row("the disk fills up while written in place", "full, in place");
        row("a read-only file", "read-only");
        row("the target is a folder", "folder");
        row("a file where a folder on the way should be", "under a file");
        // A link in a shared sticky folder (/tmp) that another user planted: the
        // system refuses to follow it, and so does the save.
        row("another user's link in a shared folder", "planted link");
        row("another user's link to a folder, in a shared folder", "planted folder link");
        // Linux follows it, but another member of the group may have planted it.
        row("another user's link in a folder their group shares", "planted group link");
        // As a device or a socket would be: never replaced by a file.
        row("a link to a named pipe", "pipe");
        // Windows: a virus scanner or a preview holds the file through every retry;
        // the finished file is kept, and the message says where. "held open" holds
        // it for real (Wine refuses with access denied); "held" as Windows does.
        row("the file is held by another program", "held");
        row("the file is held open by another program", "held open");
        row("the file is held open by a program that lets it be deleted",
            "held open, sharing delete");
        // NTFS "Write" without "Modify": files may be made, not renamed or deleted,
        // so the move is refused for good, said at once in Windows' words.
        row("renames refused, the new file kept", "refused");
        row("renames refused, the new file deleted", "refused, deletable");
        // Errors that are no hold, told in Windows' own words.
        row("the file contains a virus", "virus");
        row("the device is not ready", "not ready");
    }

    void failureLeavesTheOldFile() {
        QFETCH(QByteArray, image);
        QFETCH(QString, how);
        const bool held = how.startsWith("held");
        const bool kept = held || how == "refused";
        const bool damaged = how == "full, in place";
#ifdef _WIN32
        const WindowsAnswers answers;
        const std::map<QString, DWORD> refusals = {{"held", ERROR_SHARING_VIOLATION},
                                                   {"virus", VirusFound},
                                                   {"not ready", ERROR_NOT_READY},
                                                   {"refused", ERROR_ACCESS_DENIED},
                                                   { "refused, deletable",
                                                     ERROR_ACCESS_DENIED }};
        if (refusals.contains(how)) {
            WindowsAnswers::refusals = -1;
            WindowsAnswers::refusal = refusals.at(how);
        }
        WindowsAnswers::undeletable = how == "refused";
        WindowsAnswers::deleteDenied = how.startsWith("refused");
#else
        if (held || how.startsWith("refused") || how == "virus" || how == "not ready")
            QSKIP("Windows' answers, given through its calls");
#endif
        const TempFolder folder;
        const fs::path sub = folder.path / "sub";
        fs::create_directory(sub);
        const fs::path target = sub / (how == "folder" ? "taken" : "shot.bmp");
        const std::string old = "BM the previous screenshot";
        const fs::path named = folder.path / "named"; // what a planted link names
        // The path saved to: through a link to a folder, through a file, or the target.
        const fs::path chosen = how == "planted folder link" ? sub / "linked" / "shot.bmp"
                                : how == "under a file"      ? target / "shot.bmp"
                                                             : target;
        if (how == "folder")
            fs::create_directory(target);
        else if (how.startsWith("planted") || how == "pipe") {
            if (const char* why = PlantLink(
                    how, chosen.parent_path() == sub ? target : sub / "linked", named, old))
                QSKIP(why);
        } else
            WriteRaw(target, old);

        Outcome written = Outcome::success();
        if (how.startsWith("full")) {
#ifdef _WIN32
            QSKIP("a file size limit for a process is Unix's");
#else
            const InLockedFolders locked(target, {folder.path, sub}, damaged);
            FileSizeLimit limit(1000);
            const std::string bytes = image.toStdString();
            written = how != "full, made as written"
                          ? WriteScreenshotFile(bytes, target)
                          : WriteFileAsMade(
                                [&](ByteSink& file) {
                                    for (std::size_t at = 0; at < bytes.size(); at += 100)
                                        file.write(std::string_view(bytes).substr(at, 100));
                                    return Outcome::success();
                                },
                                target);
#endif
        } else if (how == "read-only") {
            fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
            written = WriteScreenshotFile(image.toStdString(), target);
            QCOMPARE(written.reason(), std::string("the file is read-only"));
        } else if (how.startsWith("held open")) {
#ifdef _WIN32
            const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE |
                                  (how.endsWith("sharing delete") ? FILE_SHARE_DELETE : 0);
            HANDLE holder = CreateFileW(target.c_str(), GENERIC_READ, sharing, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            QVERIFY(holder != INVALID_HANDLE_VALUE);
            written = WriteScreenshotFile(image.toStdString(), chosen);
            CloseHandle(holder);
#endif
        } else {
            written = WriteScreenshotFile(image.toStdString(), chosen);
        }

        QVERIFY(!written.ok());
        QVERIFY(!written.reason().empty());
        const std::string message = SaveFailedMessage("shot.bmp", written);
        QVERIFY2(message.ends_with("Nothing was written there.") == (!kept && !damaged),
                 message.c_str());
        QCOMPARE(written.leftDamaged(), damaged);
        QCOMPARE(message.find("may now be damaged") != std::string::npos, damaged);
        if (how.startsWith("planted"))
            QVERIFY2(written.reason().find("another user") != std::string::npos,
                     written.reason().c_str());
        if (how == "virus" || how == "not ready")
            QVERIFY2(QString::fromStdString(written.reason()).contains(how, Qt::CaseInsensitive),
                     written.reason().c_str());
#ifdef _WIN32
        if (how.startsWith("refused")) {
            QCOMPARE(WindowsAnswers::waits, 0);
            QVERIFY2(written.reason().starts_with(SystemErrorText(ERROR_ACCESS_DENIED)) &&
                         written.reason().find("another program") == std::string::npos &&
                         written.reason().find("right to modify") != std::string::npos,
                     written.reason().c_str());
        }
#endif
        QCOMPARE(written.leftKeptAside(), kept);
        if (kept) {
            // The finished screenshot is kept beside the file, under the name told.
            const std::string reason = written.reason();
            const std::size_t at = reason.find("kept as ");
            QVERIFY2(at != std::string::npos &&
                         reason.find("Permission denied") == std::string::npos,
                     reason.c_str());
            const fs::path keptFile =
                PathFromUtf8(reason.substr(at + 8, reason.find(": ", at) - at - 8));
            QVERIFY2(ReadAll(keptFile) == image.toStdString(), reason.c_str());
            QCOMPARE(test::FilesIn(sub).size(), std::size_t(2));
            fs::remove(keptFile);
        }
        if (how.startsWith("planted"))
            QVERIFY(ReadAll(how == "planted folder link" ? named / "shot.bmp" : named) == old);
        else if (how == "pipe")
            QCOMPARE(fs::status(named).type(), fs::file_type::fifo);
        else if (how != "folder" && !damaged)
            QVERIFY(ReadAll(target) == old);
        QCOMPARE(test::FilesIn(sub).size(), std::size_t(1));
    }

    // Another user who owns a folder on the way (in a folder shared by all, as
    // /tmp) swaps it for their link to a folder of this user's, between any two of
    // the writer's steps. Every write lands in the folder it checked, or is
    // refused: never in the folder linked. Each row tries every step in turn.
    void aFolderSwappedMidWriteIsNotFollowed_data() {
        QTest::addColumn<QString>("write");
        QTest::newRow("save over a file") << "replace";
        QTest::newRow("a new name in the save folder") << "new name";
        QTest::newRow("the temporary file") << "temporary";
    }

    void aFolderSwappedMidWriteIsNotFollowed() {
#ifdef _WIN32
        QSKIP("Windows' calls take paths (see FolderCallsWin32.cpp)");
#else
        if (geteuid() != 0)
            QSKIP("another user's link and folder need root");
        QFETCH(QString, write);
        const std::string shot = test::TwoColourBitmap(3);
        for (int at = 0;; ++at) {
            const TempFolder folder;
            const fs::path shared = folder.path / "shared", mine = folder.path / "mine";
            const fs::path theirs = shared / "shots", moved = shared / "moved";
            fs::create_directories(theirs);
            fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
            QCOMPARE(chown(theirs.c_str(), 65534, 65534), 0);
            fs::create_directory(mine);
            WriteRaw(mine / "shot.bmp", "mine");
            if (write == "replace")
                WriteRaw(theirs / "shot.bmp", "old");
            const ChangeBeforeCall swap(at, [&] {
                fs::rename(theirs, moved);
                fs::create_symlink(mine, theirs);
                QCOMPARE(lchown(theirs.c_str(), 65534, 65534), 0);
            });
            const fs::path target = theirs / "shot.bmp";
            const std::optional<Outcome> written =
                write == "replace"    ? WriteScreenshotFile(shot, target)
                : write == "new name" ? WriteNewScreenshotFile(shot, target)
                                      : WriteTemporaryScreenshotFile(shot, target);
            QVERIFY2(written.has_value(), qPrintable(QString("step %1").arg(at)));
            QCOMPARE(test::FilesIn(mine), std::set<std::string>{"shot.bmp"});
            QCOMPARE(ReadAll(mine / "shot.bmp"), std::string("mine"));
            if (!swap.changed()) {
                QVERIFY2(written->ok(), written->reason().c_str());
                break; // every step was tried
            }
            if (written->ok())
                QVERIFY2(ReadAll(moved / "shot.bmp") == shot,
                         qPrintable(QString("step %1").arg(at)));
            else
                QVERIFY2(written->reason().find("another user") != std::string::npos,
                         written->reason().c_str());
            for (const std::string& name : test::FilesIn(moved))
                QCOMPARE(name, std::string("shot.bmp"));
        }
#endif
    }

    // What a Windows link or mount point names, from the names written in it
    // (FSCTL_GET_REPARSE_POINT's answer; Wine makes no such links to read).
    void aLinkNamesWhatWindowsWroteInIt_data() {
        QTest::addColumn<QString>("substitute");
        QTest::addColumn<QString>("print");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<QString>("named");
        QTest::newRow("a link to a drive's folder") << R"(\??\D:\Data)"
                                                    << R"(D:\Data)" << false << R"(D:\Data)";
        QTest::newRow("a junction without a print name") << R"(\??\D:\Data)"
                                                         << "" << false << R"(D:\Data)";
        QTest::newRow("a link to a share") << R"(\??\UNC\server\share)"
                                           << "" << false << R"(\\server\share)";
        QTest::newRow("a volume mounted by its GUID")
            << R"(\??\Volume{3f2e1d0c-0000-0000-0000-100000000000}\)"
            << "" << false << R"(\\?\Volume{3f2e1d0c-0000-0000-0000-100000000000}\)";
        QTest::newRow("a relative link") << R"(..\shots)"
                                         << R"(..\shots)" << true << R"(..\shots)";
    }
    void aLinkNamesWhatWindowsWroteInIt() {
#ifndef _WIN32
        QSKIP("Windows' links");
#else
        QFETCH(QString, substitute);
        QFETCH(QString, print);
        QFETCH(bool, relative);
        QFETCH(QString, named);
        QCOMPARE(QString::fromStdWString(
                     NamedPath(substitute.toStdWString(), print.toStdWString(), relative)),
                 named);
#endif
    }
};

KVD_REGISTER_TEST(ScreenshotFileTest)
#include "ScreenshotFileTest.moc"

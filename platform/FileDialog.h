#pragma once

#include <string>

namespace kvd {

// The one file dialog that saving and loading share. What one use sets (filter,
// title, the chosen file) is still set when it is next shown, by either. It asks
// no overwrite question of its own and never adds a suffix to the chosen name.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // "description|pattern", as "KVD62 screenshots (*.bmp)|*.bmp".
    virtual void setFilter(const std::string& filter) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // The file the dialog offers when it is next shown: its folder and name.
    // Empty offers none.
    virtual void setFileName(const std::string& path) = 0;
    // Shows the dialog; false when the user cancelled it.
    virtual bool showSave() = 0;
    virtual bool showOpen() = 0;
    // The chosen file's full path, and its name without the folder.
    virtual std::string fileName() const = 0;
    virtual std::string fileTitle() const = 0;
    // Asks for an existing folder, starting in the folder last chosen, else where
    // the last file was chosen; the folder's full path, or empty when the user
    // cancelled.
    virtual std::string chooseFolder(const std::string& title) = 0;
};

} // namespace kvd

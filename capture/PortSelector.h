#pragma once

#include <string>

namespace kvd {

// The port selector as the link code sees it: a list of the ports that passed the
// probe and an editable text. The window implements it with its combo box.
class PortSelector {
public:
    virtual ~PortSelector() = default;

    // Appends an entry ("1", "2") to the list; device names the port's device.
    virtual void addPort(const std::string& entry, const std::string& device) = 0;
    // The first list entry, or empty when the list is empty.
    virtual std::string firstPort() const = 0;
    // Sets the text. This is a change of the text like a user's edit, so the
    // selector's change rule runs.
    virtual void setText(const std::string& text) = 0;
};

} // namespace kvd

#pragma once

#include <functional>
#include <string>
#include <vector>

#include "capture/PortSelector.h"

namespace kvd::test {

// The selector's list and text, with the text's change rule supplied by the test.
class FakePortSelector final : public PortSelector {
public:
    std::vector<std::string> entries;
    std::vector<std::string> devices;
    std::string text = "1";
    std::function<void(const std::string&)> onTextChanged;

    void addPort(const std::string& entry, const std::string& device) override {
        entries.push_back(entry);
        devices.push_back(device);
    }
    std::string firstPort() const override { return entries.empty() ? "" : entries.front(); }
    void setText(const std::string& value) override {
        text = value;
        if (onTextChanged)
            onTextChanged(value);
    }
};

} // namespace kvd::test

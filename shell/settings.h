#pragma once

#include <optional>

#include <QString>

namespace fernwise {

// The two values kept between runs, under organisation "Ko" and application
// "Fernwise". Reads are tolerant: a missing, corrupt or out-of-range value
// reads as absent, never as a crash.
class Settings {
public:
    // The image size index 0..9; nullopt when not stored or unusable.
    std::optional<int> readResIndex() const;
    void writeResIndex(int sizeIndex);

    // The folder of the last palette file; empty when not stored.
    QString readOldPath() const;
    void writeOldPath(const QString& folder);
};

}  // namespace fernwise

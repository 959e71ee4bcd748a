#pragma once
// The operating-system version test that steers the file layer: on a 4.x system only the ANSI
// file functions are used. The version is read afresh by every object; nothing is cached.

class WindowsVersion {
public:
    WindowsVersion();
    virtual ~WindowsVersion() = default;

    int getMajorVersion() const { return major_; }
    // True on every 4.x system, whatever its product line.
    bool isMajorVersion4() const { return major_ == 4; }

private:
    int major_;
};

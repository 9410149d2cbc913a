#pragma once
// The fixed texts dxprep shows, each in this one place.

// Caption of both outcome messages.
inline constexpr char kSetupCaption[] = "Setup DirectX Game SDK for Zentrova";
inline constexpr char kSetupSucceededMessage[] =
    "DirectX installation has been successful. In order to use DirectX, you must restart your computer.";
inline constexpr char kSetupFailedMessage[] = "DirectX failed to install. The game was not installed.";

#pragma once
// The fixed texts unravel shows, each in this one place, as its IDs are in
// resource.h. Control names and paths are filled in with wsprintfA.

// The sequence's own message boxes and the no-controls message.
inline constexpr char kSequenceCaption[] = "Zentrova Uninstall.";
// A control that could not be removed.
inline constexpr char kFailureCaption[] = "Zentrova Uninstall";

inline constexpr char kOleFailedMessage[] =
    "OLE initialization failed. Make sure that the OLE libraries are the correct version.";
inline constexpr char kNoControlsMessage[] = "No previously installed Zentrova .OCX\ncontrols were detected.";
inline constexpr char kUnregisterFailedFormat[] = "Unable to unregister control %s";
inline constexpr char kDeleteFailedFormat[] = "Unable to delete control %s";
inline constexpr char kNoUninstallInfoMessage[] =
    "No deinstallation information can be found on you computer.\n"
    "This means either the DeIsLog.1 uninstall script or UNINST.EXE\n"
    "could not be located.  Either no previous installation exists,\n"
    "or files must be located manually!";
inline constexpr char kTryByHandMessage[] =
    "If the uninstall files are located, try <path>uninst.exe -f\"<path>DeIsLog.1\"";

// A folder or script a safety rule refused, named where %s stands, in place
// of the messages that would call it absent. Short enough that the longest
// path the program reads (519 characters, 778 with a script's name) fits
// wsprintfA's 1024 bytes.
inline constexpr char kControlFolderRefusedFormat[] =
    "The control folder %s was left alone: a link that other users could have made or changed leads there, "
    "or it could not be opened safely.\nNo control in it was removed. Remove them by hand.";
inline constexpr char kScriptRefusedFormat[] =
    "The uninstall script %s was not handed over: a link that other users could have made or changed leads "
    "there.\nNothing was started. Remove Zentrova by hand.";


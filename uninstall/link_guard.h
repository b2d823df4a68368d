// uninstall/link_guard.h: refuses a path that reaches its file through a link an ordinary user made.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// Every run is elevated, but the folders a log points into may be writable by anyone: a user who
// swaps one of them for a junction to the system directory would have the run delete there. A link
// (junction, symbolic link, mount point) on the way is followed only when an administrator made it,
// as the system's own redirection guard decides.

// The owner of path's own entry (not what it leads to): its SID as text and a name to show (the
// account's, or the SID again). False when it cannot be read.
typedef bool (*LinkOwnerQuery)(const char *path, std::string &sid, std::string &name);

// Replaces the system's owner query (null: the system's again). Only tests call it: the system under
// test may report one owner for every file.
void SetLinkOwnerQuery(LinkOwnerQuery query);

// Administrators, SYSTEM and TrustedInstaller.
bool IsTrustedLinkOwner(const std::string &sid);

// What the check found: passes, or the link that stopped it and who made it.
struct LinkVerdict
{
    bool passes = true;
    std::string link;  // the directory part that is a link made by someone else
    std::string owner; // its owner's name; "an unknown owner" when it cannot be read
};

// Checks each directory part of a path; the last part, which the log names, is not followed by the
// check (see RemoveLinkItself). A part that is not there, or cannot be read, passes: there is nothing
// to follow.
class LinkGuard
{
public:
    // Remembers each directory's verdict for the guard's life (one run): a path without links costs
    // one attribute read per directory not met before.
    LinkVerdict Check(const char *path);
    // The same check, read afresh: for a request that takes effect later (at the restart).
    static LinkVerdict CheckNow(const char *path);

private:
    std::map<std::string, LinkVerdict> directories_;
};

// "reached through a link made by <owner>"
std::string ThroughLinkReason(const LinkVerdict &verdict);

// True when path's own entry is a link.
bool IsLinkItself(const char *path);

// Removes the link path names, never what it leads to: opened as the link itself, deleted by that
// handle where the system allows, else by name as the link. Returns 0, or the system's error code.
DWORD RemoveLinkItself(const char *path);

// Asks the system to refuse, from now on, links that a process of lower standing made
// (ProcessRedirectionTrustPolicy), where the system has that policy. Best effort.
void EnforceRedirectionTrust();

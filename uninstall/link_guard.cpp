// uninstall/link_guard.cpp: refuses a path that reaches its file through a link an ordinary user made.
#include "uninstall/link_guard.h"

#include "support/ascii_text.h"
#include "support/bound_functions.h"
#include "support/buffer_sizes.h"

#include <aclapi.h>

#include <cstring>

namespace
{

// Administrators, SYSTEM, TrustedInstaller: the owners the system's redirection guard trusts.
const char *const kTrustedOwners[] = {"S-1-5-32-544", "S-1-5-18",
                                      "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};

constexpr char kUnknownOwner[] = "an unknown owner";

// The owner functions are looked up, not imported: the Windows 95 family has no security to ask,
// and an import it lacks would keep the program from starting there.
typedef DWORD(WINAPI *GetSecurityInfoProc)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *, PSID *, PACL *, PACL *,
                                           PSECURITY_DESCRIPTOR *);
typedef BOOL(WINAPI *ConvertSidProc)(PSID, LPSTR *);
typedef BOOL(WINAPI *LookupSidProc)(LPCSTR, PSID, LPSTR, LPDWORD, LPSTR, LPDWORD, PSID_NAME_USE);

// The link's own entry, opened without following it: what is read or done through this handle is
// the link's, not its target's.
HANDLE OpenLinkItself(const char *path, DWORD access)
{
    return ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool SystemOwnerQuery(const char *path, std::string &sid, std::string &name)
{
    const auto getSecurityInfo = BoundAs<GetSecurityInfoProc>(BoundFunction::GetSecurityInfo);
    const auto convertSid = BoundAs<ConvertSidProc>(BoundFunction::ConvertSidToStringSidA);
    const auto lookupSid = BoundAs<LookupSidProc>(BoundFunction::LookupAccountSidA);
    if (getSecurityInfo == nullptr || convertSid == nullptr)
        return false;
    const HANDLE entry = OpenLinkItself(path, READ_CONTROL);
    if (entry == INVALID_HANDLE_VALUE)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = getSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                         nullptr, &descriptor);
    ::CloseHandle(entry);
    if (status != ERROR_SUCCESS || owner == nullptr)
    {
        if (descriptor != nullptr)
            ::LocalFree(descriptor);
        return false;
    }
    char *text = nullptr;
    const bool converted = convertSid(owner, &text) != FALSE && text != nullptr;
    if (converted)
    {
        sid = text;
        ::LocalFree(text);
    }
    char account[kTextChars] = "";
    char domain[kTextChars] = "";
    DWORD accountChars = kTextChars;
    DWORD domainChars = kTextChars;
    SID_NAME_USE use;
    if (lookupSid != nullptr && lookupSid(nullptr, owner, account, &accountChars, domain, &domainChars, &use))
    {
        account[kTextChars - 1] = '\0';
        domain[kTextChars - 1] = '\0';
        name = domain[0] != '\0' ? std::string(domain) + "\\" + account : std::string(account);
    }
    else
    {
        name = sid;
    }
    ::LocalFree(descriptor);
    return converted;
}

LinkOwnerQuery g_ownerQuery = SystemOwnerQuery;

// The verdict on one directory of a path, itself and not its parents.
LinkVerdict CheckDirectory(const std::string &directory)
{
    LinkVerdict verdict;
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return verdict;
    std::string sid;
    std::string name;
    if (g_ownerQuery(directory.c_str(), sid, name) && IsTrustedLinkOwner(sid))
        return verdict;
    verdict.passes = false;
    verdict.link = directory;
    verdict.owner = name.empty() ? kUnknownOwner : name;
    return verdict;
}

// Where the directory parts of a full path begin, past its root: "C:\", "\\server\share\" or
// "\\?\C:\". 0 when the path has no root this check knows, which then checks from the start.
size_t RootLength(const std::string &path)
{
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return 3;
    if (path.compare(0, 4, "\\\\?\\") == 0 || path.compare(0, 4, "\\\\.\\") == 0)
    {
        const size_t rest = RootLength(path.substr(4));
        return rest > 0 ? 4 + rest : 4;
    }
    if (path.compare(0, 2, "\\\\") == 0)
    {
        const size_t share = path.find('\\', 2);
        const size_t end = share == std::string::npos ? share : path.find('\\', share + 1);
        return end == std::string::npos ? path.size() : end + 1;
    }
    return 0;
}

// The full path, its "..", "." and slashes resolved as the system resolves them before it opens the
// path; the path as given when that fails.
std::string FullPath(const char *path)
{
    char full[kPathChars];
    const DWORD length = ::GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return path;
    return full;
}

// The system directory and the directories above it are the system's own: no ordinary user can put
// a link in their place, and the system may itself have mounted them elsewhere.
bool IsSystemDirectoryOrAbove(const std::string &directory)
{
    char system[kPathChars];
    const UINT length = ::GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system || directory.size() > length)
        return false;
    return (directory.size() == length || system[directory.size()] == '\\') &&
           ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, directory.c_str(),
                            static_cast<int>(directory.size()), system,
                            static_cast<int>(directory.size())) == CSTR_EQUAL;
}

// Calls check for each directory part of path, shortest first, until one does not pass.
template <typename Check> LinkVerdict WalkDirectories(const char *path, Check check)
{
    const std::string full = FullPath(path);
    for (size_t end = full.find('\\', RootLength(full)); end != std::string::npos; end = full.find('\\', end + 1))
    {
        if (end == 0 || full[end - 1] == '\\')
            continue;
        const std::string directory = full.substr(0, end);
        if (IsSystemDirectoryOrAbove(directory))
            continue;
        const LinkVerdict verdict = check(directory);
        if (!verdict.passes)
            return verdict;
    }
    return LinkVerdict();
}

} // namespace

void SetLinkOwnerQuery(LinkOwnerQuery query)
{
    g_ownerQuery = query != nullptr ? query : SystemOwnerQuery;
}

bool IsTrustedLinkOwner(const std::string &sid)
{
    for (const char *trusted : kTrustedOwners)
        if (EqualsIgnoreAsciiCase(sid.c_str(), trusted))
            return true;
    return false;
}

LinkVerdict LinkGuard::Check(const char *path)
{
    return WalkDirectories(path, [this](const std::string &directory) {
        std::string key = directory;
        for (char &c : key)
            c = AsciiUpper(c);
        const auto known = directories_.find(key);
        if (known != directories_.end())
            return known->second;
        return directories_.emplace(key, CheckDirectory(directory)).first->second;
    });
}

LinkVerdict LinkGuard::CheckNow(const char *path)
{
    return WalkDirectories(path, CheckDirectory);
}

std::string ThroughLinkReason(const LinkVerdict &verdict)
{
    return "reached through a link made by " + verdict.owner;
}

bool IsLinkItself(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

DWORD RemoveLinkItself(const char *path)
{
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError();
    // DeleteFile takes a file link itself on every system.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return ::DeleteFileA(path) ? 0 : ::GetLastError();
    // Declared here: the build targets a system older than the call.
    typedef BOOL(WINAPI * SetInformationProc)(HANDLE, int, LPVOID, DWORD);
    constexpr int kFileDispositionInfo = 4;
    struct Disposition
    {
        BOOLEAN deleteFile;
    };
    const auto setInformation = BoundAs<SetInformationProc>(BoundFunction::SetFileInformationByHandle);
    if (setInformation == nullptr)
        return ERROR_NOT_SUPPORTED;
    const HANDLE link = OpenLinkItself(path, DELETE | FILE_READ_ATTRIBUTES);
    if (link == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    // A system that cannot open a directory link as itself hands back the directory it leads to, and
    // deleting by that handle would remove that directory: the link is then left as it is.
    const HANDLE target =
        ::CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION linkInfo = {};
    BY_HANDLE_FILE_INFORMATION targetInfo = {};
    const bool itself =
        ::GetFileInformationByHandle(link, &linkInfo) &&
        (target == INVALID_HANDLE_VALUE || (::GetFileInformationByHandle(target, &targetInfo) &&
                                            (linkInfo.dwVolumeSerialNumber != targetInfo.dwVolumeSerialNumber ||
                                             linkInfo.nFileIndexHigh != targetInfo.nFileIndexHigh ||
                                             linkInfo.nFileIndexLow != targetInfo.nFileIndexLow)));
    if (target != INVALID_HANDLE_VALUE)
        ::CloseHandle(target);
    DWORD error = ERROR_NOT_SUPPORTED;
    if (itself)
    {
        Disposition disposition = {TRUE};
        error = setInformation(link, kFileDispositionInfo, &disposition, sizeof disposition) ? 0 : ::GetLastError();
    }
    ::CloseHandle(link); // a link marked for deletion goes as its last handle closes
    return error;
}

void EnforceRedirectionTrust()
{
    typedef BOOL(WINAPI * SetPolicyProc)(int, PVOID, SIZE_T);
    constexpr int kProcessRedirectionTrustPolicy = 16;
    constexpr DWORD kEnforceRedirectionTrust = 1;
    const auto setPolicy = BoundAs<SetPolicyProc>(BoundFunction::SetProcessMitigationPolicy);
    if (setPolicy == nullptr)
        return;
    DWORD flags = kEnforceRedirectionTrust;
    (void)setPolicy(kProcessRedirectionTrustPolicy, &flags,
                    sizeof flags); // older systems refuse the policy: the check above stands alone
}

// support/path_split.cpp: takes a path apart into drive, directory, name and extension.
#include "support/path_split.h"

#include <cstring>

namespace
{

void CopySpan(char *out, size_t outChars, const char *begin, const char *end)
{
    size_t length = static_cast<size_t>(end - begin);
    if (length >= outChars)
        length = outChars - 1;
    std::memcpy(out, begin, length);
    out[length] = '\0';
}

// The character after the last backslash or slash, or begin when there is none.
const char *AfterLastSeparator(const char *begin)
{
    const char *after = begin;
    for (const char *p = begin; *p != '\0'; ++p)
    {
        if (*p == '\\' || *p == '/')
            after = p + 1;
    }
    return after;
}

} // namespace

void SplitPath(const char *path, PathParts &parts)
{
    const char *rest = path;
    if (path[0] != '\0' && path[1] == ':')
        rest = path + 2;
    CopySpan(parts.drive, sizeof parts.drive, path, rest);

    const char *nameStart = AfterLastSeparator(rest);
    CopySpan(parts.dir, sizeof parts.dir, rest, nameStart);

    const char *end = nameStart + std::strlen(nameStart);
    const char *dot = std::strrchr(nameStart, '.');
    const char *extStart = dot != nullptr ? dot : end;
    CopySpan(parts.name, sizeof parts.name, nameStart, extStart);
    CopySpan(parts.ext, sizeof parts.ext, extStart, end);
}

bool PathDirectory(const char *path, char *out, size_t outChars)
{
    const char *end = AfterLastSeparator(path);
    if (end == path && path[0] != '\0' && path[1] == ':')
        end = path + 2;
    const size_t length = static_cast<size_t>(end - path);
    if (length >= outChars)
    {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

bool NamesEntryIn(const char *path, const char *directory)
{
    const size_t length = std::strlen(directory);
    if (length == 0 || (directory[length - 1] != '\\' && directory[length - 1] != '/') ||
        std::strncmp(path, directory, length) != 0)
        return false;
    const char *name = path + length;
    if (name[0] == '\0' || std::strpbrk(name, "\\/:") != nullptr)
        return false;
    return name[std::strspn(name, ". ")] != '\0';
}

bool IsRootDirectory(const char *directory)
{
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    const char *rest = directory;
    if (separator(rest[0]) && separator(rest[1]))
    {
        // A share's root is its server and share name.
        rest += 2;
        for (int part = 0; part < 2 && *rest != '\0'; ++part)
        {
            while (*rest != '\0' && !separator(*rest))
                ++rest;
            while (separator(*rest))
                ++rest;
        }
        return *rest == '\0';
    }
    if (rest[0] != '\0' && rest[1] == ':')
        rest += 2;
    while (separator(*rest))
        ++rest;
    return *rest == '\0';
}

// Links on the way to a record's file, made in the prefix as a Wine user makes them (every owner is
// then an ordinary user) and, through the owner query, as an administrator would.
#include "uninstall/link_guard.h"

#include "test_files.h"
#include "tests/test_machine.h"
#include "uninstall/record_actions.h"

#include <gtest/gtest.h>

#include <string>

using test_machine::PathExists;
using test_machine::ReadBytes;

namespace
{

bool OwnerCannotBeRead(const char *, std::string &, std::string &)
{
    return false;
}

// A directory with a file, and a link to it beside it, removed first when the test ends: removing
// the tree through the link would reach the directory it leads to.
class LinkedDirectory
{
public:
    LinkedDirectory()
        : target_(dir_.Path() + "\\target"), link_(dir_.Path() + "\\link"),
          made_(::CreateDirectoryA(target_.c_str(), nullptr) && test_machine::MakeDirectoryLink(link_, target_))
    {
        dir_.Write("target\\a.txt", "kept");
    }
    ~LinkedDirectory()
    {
        SetLinkOwnerQuery(nullptr);
        (void)test_machine::RemoveDirectoryLink(link_); // nothing more to do if it stays
    }
    bool Made() const { return made_; }
    const std::string &Target() const { return target_; }
    const std::string &Link() const { return link_; }

private:
    ScratchDir dir_;
    std::string target_, link_;
    bool made_;
};

} // namespace

TEST(LinkGuard, WhatAnOrdinaryUsersLinkLeadsToIsNeitherRemovedNorRun)
{
    LinkedDirectory linked;
    ASSERT_TRUE(linked.Made());
    const std::string throughLink = linked.Link() + "\\a.txt";
    {
        RemovalRun run(nullptr);
        const RecordOutcome outcome = RemoveFileRecord(run, throughLink.c_str(), RecordKind::File);
        EXPECT_EQ(Outcome::Skipped, outcome.outcome);
        EXPECT_EQ(static_cast<long>(SkipReason::ThroughLink), outcome.detail);
        EXPECT_EQ(0u, run.note.find("reached through a link made by ")) << run.note;
        EXPECT_GT(run.note.size(), std::string("reached through a link made by ").size());
        // The same link met again as a middle part, spelled otherwise, a library record included.
        const std::string deeper = linked.Link() + "\\sub\\..\\a.txt";
        EXPECT_EQ(Outcome::Skipped, RemoveFileRecord(run, deeper.c_str(), RecordKind::Library).outcome);
        // A program record: neither a program nor a working directory behind the link starts.
        const std::string program = linked.Link() + "\\tool.exe";
        EXPECT_EQ(Outcome::Skipped, RunProgramRecord(run, "cmd.exe /c exit 7", linked.Link().c_str(), "").outcome);
        EXPECT_EQ(Outcome::Skipped, RunProgramRecord(run, program.c_str(), "", program.c_str()).outcome);
        EXPECT_EQ("kept", ReadBytes(linked.Target() + "\\a.txt"));
    }
    {
        SetLinkOwnerQuery(OwnerCannotBeRead); // nobody to vouch for it: refused
        RemovalRun run(nullptr);
        EXPECT_EQ(Outcome::Skipped, RemoveFileRecord(run, throughLink.c_str(), RecordKind::File).outcome);
        EXPECT_NE(std::string::npos, run.note.find("an unknown owner")) << run.note;
    }
    // An administrator's link is followed: the attack rows of the fault matrix show it.
}

TEST(LinkGuard, ARequestForTheRestartLooksAtTheLinksAfresh)
{
    ScratchDir dir;
    ASSERT_TRUE(::CreateDirectoryA((dir.Path() + "\\target").c_str(), nullptr));
    LinkGuard guard;
    const std::string later = dir.Path() + "\\later\\a.txt";
    EXPECT_TRUE(guard.Check(later.c_str()).passes); // no link yet
    ASSERT_TRUE(test_machine::MakeDirectoryLink(dir.Path() + "\\later", dir.Path() + "\\target"));
    EXPECT_TRUE(guard.Check(later.c_str()).passes) << "remembered for the run";
    const LinkVerdict now = LinkGuard::CheckNow(later.c_str());
    EXPECT_FALSE(now.passes);
    EXPECT_EQ(dir.Path() + "\\later", now.link);
    EXPECT_TRUE(test_machine::RemoveDirectoryLink(dir.Path() + "\\later"));
}

TEST(LinkGuard, ALinkTheLogNamesGoesAsALinkAndWhatItLeadsToStaysEvenEmpty)
{
    // Wine removes a directory link by removing the directory it leads to when that is empty: the
    // report must say what happened and the target must stay. (A full target: the attack rows.)
    for (const RecordKind kind : {RecordKind::File, RecordKind::Library})
    {
        LinkedDirectory linked;
        ASSERT_TRUE(linked.Made());
        ASSERT_TRUE(::DeleteFileA((linked.Target() + "\\a.txt").c_str()));
        RemovalRun run(nullptr);
        const RecordOutcome outcome = RemoveFileRecord(run, linked.Link().c_str(), kind);
        const bool linkGone = ::GetFileAttributesA(linked.Link().c_str()) == INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(linkGone ? Outcome::Removed : Outcome::Failed, outcome.outcome) << outcome.error;
        EXPECT_TRUE(PathExists(linked.Target()));
    }
}

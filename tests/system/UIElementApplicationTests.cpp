// The toolkit's application, window and action helpers: both names of an element's
// application, the two window lookups, activation, raising a window and the guarded action.
#include "UIElementTest.h"
#include "sim/Clock.h"

namespace {

using sim::desktop;

class UIElementApplication : public UIElementTest {
protected:
    static std::optional<sim::NodeId> adoptWindow(AXUIElementRef window) {
        RetainPtr<AXUIElementRef> owned = adoptCF(window);
        return owned ? frameworks::nodeOf(owned.get()) : std::nullopt;
    }
};

// --- copyApplicationNameOfUIElement, copyEnglishApplicationNameOfUIElement

TEST_F(UIElementApplication, TheTreeNameIsTheTitleOfTheTopmostAncestor) {
    buildMail();
    EXPECT_EQ(adoptText(copyApplicationNameOfUIElement(send_.get())), u"Mail");
    EXPECT_EQ(copyApplicationNameOfUIElement(element(desktop().rootOf(mail_)).get()), nullptr);
}

TEST_F(UIElementApplication, TheFileNameIsTheBundleNameWithoutItsLastExtension) {
    const pid_t tool = addApp("Tool", "/Applications/My.Tool.v2.app");
    const pid_t bare = addApp("bare", "");
    RetainPtr<AXUIElementRef> application = element(desktop().rootOf(tool));
    EXPECT_EQ(adoptText(copyEnglishApplicationNameOfUIElement(application.get())), u"My.Tool.v2");
    EXPECT_EQ(copyEnglishApplicationNameOfUIElement(element(desktop().rootOf(bare)).get()),
              nullptr);
    desktop().quit(tool);
    EXPECT_EQ(copyEnglishApplicationNameOfUIElement(application.get()), nullptr);
    sim::injectFault({.call = "AXUIElementGetPid", .status = kAXErrorInvalidUIElement});
    EXPECT_EQ(adoptText(copyEnglishApplicationNameOfUIElement(application.get())), u"");
}

// --- copyActiveApplicatoinsActiveWindowUIElement, copyApplicationWindowWithName

TEST_F(UIElementApplication, TheActiveWindowIsTheFocusedWindowOfTheActiveApplication) {
    EXPECT_EQ(copyActiveApplicatoinsActiveWindowUIElement(), nullptr) << "nothing is active";
    const pid_t mail = addApp("Mail");
    EXPECT_EQ(copyActiveApplicatoinsActiveWindowUIElement(), nullptr) << "no focused window";
    desktop().addWindow(mail, "Inbox");
    const sim::NodeId compose = desktop().addWindow(mail, "Compose");
    EXPECT_EQ(adoptWindow(copyActiveApplicatoinsActiveWindowUIElement()), compose);
}

TEST_F(UIElementApplication, AWindowIsFoundByItsExactTitleInTheOrderOfTheWindows) {
    const pid_t mail = addApp("Mail");
    const sim::NodeId back = desktop().addWindow(mail, "Inbox");
    desktop().addWindow(mail, "Compose");
    const sim::NodeId front = desktop().addWindow(mail, "Inbox");
    EXPECT_EQ(adoptWindow(copyApplicationWindowWithName(mail, CFSTR("Inbox"))), front);
    desktop().setTitle(front, "Drafts");
    EXPECT_EQ(adoptWindow(copyApplicationWindowWithName(mail, CFSTR("Inbox"))), back);
    EXPECT_EQ(copyApplicationWindowWithName(mail, CFSTR("inbox")), nullptr);
    EXPECT_EQ(copyApplicationWindowWithName(mail, nullptr), nullptr);
    sim::injectFault({.call = "AXUIElementCopyAttributeValue", .name = u"AXWindows"});
    EXPECT_EQ(copyApplicationWindowWithName(mail, CFSTR("Drafts")), nullptr);
}

// --- activateUIElementProcess, performAction, bringAXWindowToFront

// The front process changes when the run loop turns after the request (sim::worldTurn), not
// during the call.
TEST_F(UIElementApplication, ActivationAnswersTheStatusOfTheStepWhereItStopped) {
    buildMail();
    sim::injectFault({.call = "AXUIElementGetPid", .status = kAXErrorCannotComplete, .count = 1});
    EXPECT_EQ(activateUIElementProcess(send_.get()), kAXErrorCannotComplete);
    sim::worldTurn();
    EXPECT_EQ(desktop().activePid(), notes_);
    EXPECT_EQ(activateUIElementProcess(send_.get()), 0);
    EXPECT_EQ(desktop().activePid(), notes_) << "activated during the call";
    sim::worldTurn();
    EXPECT_EQ(desktop().activePid(), mail_);
    desktop().quit(mail_);
    EXPECT_EQ(activateUIElementProcess(send_.get()), procNotFound);
}

TEST_F(UIElementApplication, ABackgroundOnlyProcessCannotComeForward) {
    sim::ApplicationSpec daemon;
    daemon.name = "daemon";
    daemon.backgroundOnly = true;
    sim::ElementSpec button;
    button.actions = {"AXPress"};
    const sim::NodeId node =
        desktop().addElement(desktop().rootOf(desktop().addApplication(daemon)), button);
    EXPECT_EQ(activateUIElementProcess(element(node).get()), appIsDaemon);
    EXPECT_EQ(performAction(element(node).get(), CFSTR("AXPress")), -1);
    EXPECT_EQ(sim::callCount("AXUIElementPerformAction"), 0u);
}

TEST_F(UIElementApplication, AnActionRunsAfterTheProcessComesForwardUnlessItIsAClick) {
    buildMail();
    sim::injectFault({.call = "SetFrontProcess", .status = paramErr, .count = 1});
    EXPECT_EQ(performAction(send_.get(), CFSTR("AXPress")), -1);
    sim::worldTurn();
    EXPECT_EQ(desktop().activePid(), notes_);
    EXPECT_EQ(performAction(send_.get(), CFSTR("clickTwice")), -1);
    sim::worldTurn();
    EXPECT_EQ(desktop().activePid(), mail_) << "the process came forward all the same";
    EXPECT_EQ(sim::callCount("AXUIElementPerformAction"), 0u);
    EXPECT_EQ(performAction(send_.get(), CFSTR("ClickThrough")), 0);
    EXPECT_EQ(performAction(send_.get(), CFSTR("AXCancel")), kAXErrorActionUnsupported);
    desktop().activate(notes_);
    desktop().quit(mail_);
    EXPECT_EQ(performAction(send_.get(), CFSTR("AXPress")), -1);
    EXPECT_EQ(sim::callCount("AXUIElementPerformAction"), 2u);
}

TEST_F(UIElementApplication, AnActionIsPerformedBeforeItsProcessHasComeForward) {
    buildMail();
    EXPECT_EQ(performAction(send_.get(), CFSTR("AXPress")), 0);
    EXPECT_EQ(sim::callCount("AXUIElementPerformAction"), 1u);
    EXPECT_EQ(desktop().activePid(), notes_) << "nothing waits for the activation";
    sim::worldTurn();
    EXPECT_EQ(desktop().activePid(), mail_);
}

TEST_F(UIElementApplication, RaisingAWindowBringsOnlyThatWindowForward) {
    const pid_t mail = addApp("Mail");
    const sim::NodeId inbox = desktop().addWindow(mail, "Inbox");
    desktop().addWindow(mail, "Drafts");
    const pid_t notes = addApp("Notes");
    desktop().addWindow(notes, "Note");
    desktop().activate(notes);
    desktop().setActions(inbox, {});
    EXPECT_EQ(bringAXWindowToFront(element(inbox).get()), kAXErrorActionUnsupported);
    EXPECT_EQ(desktop().activePid(), notes);
    desktop().setActions(inbox, {"AXRaise"});
    EXPECT_EQ(bringAXWindowToFront(element(inbox).get()), 0);
    EXPECT_EQ(desktop().activePid(), notes) << "raised at once, brought forward at the turn";
    sim::worldTurn();
    EXPECT_EQ(desktop().activePid(), mail);
    // Inbox is in front; Drafts stays behind Notes' window.
    const CGPoint middle = middleOf(inbox);
    EXPECT_EQ(desktop().hitTest(middle.x, middle.y), inbox);
    desktop().closeWindow(inbox);
    EXPECT_EQ(desktop().node(*desktop().hitTest(middle.x, middle.y))->pid, notes);
    sim::injectFault({.call = "GetProcessForPID", .status = procNotFound});
    EXPECT_EQ(bringAXWindowToFront(element(inbox).get()), -1);
}

}  // namespace

// The module's two steps driven as the loader drives them, against the
// stand-in class library.
#include <gtest/gtest.h>

#include "module/ModuleEntry.h"
#include "module/classlib/TestControls.h"

namespace {

using namespace classlib;
using vintrel::ExtensionModule;
using vintrel::ModuleEarlyStep;
using vintrel::ModuleEntry;

int instanceTag, otherTag;
InstanceHandle const kInstance = &instanceTag;

class Module : public testing::Test {
protected:
    void SetUp() override {
        *CurrentModuleState() = ModuleState{&appClass, &appFactory, nullptr, nullptr, nullptr};
    }
    void TearDown() override {
        RefuseInitialisation(false);
        FailAllocation(false);
        TermExtensionModule(ExtensionModule, 0);
        ASSERT_EQ(CurrentModuleState()->libraryList, nullptr) << "a registration was left behind";
        *CurrentModuleState() = ModuleState{};
    }
    // The loader's order; static initialisation in between registers `own`.
    int Attach(RuntimeClass* own = nullptr) {
        EXPECT_EQ(ModuleEarlyStep(kInstance, vintrel::ProcessAttach, nullptr), 1);
        if (own != nullptr) {
            own->next = CurrentModuleState()->classList;
            CurrentModuleState()->classList = own;
        }
        return ModuleEntry(kInstance, vintrel::ProcessAttach, nullptr);
    }
    int Detach() {
        const int accepted = ModuleEntry(kInstance, vintrel::ProcessDetach, nullptr);
        EXPECT_EQ(ModuleEarlyStep(kInstance, vintrel::ProcessDetach, nullptr), 1);
        return accepted;
    }
    void ExpectApplicationListsInPlace() {
        const ModuleState& s = *CurrentModuleState();
        EXPECT_EQ(s.classList, &appClass);
        EXPECT_EQ(s.factoryList, &appFactory);
        EXPECT_EQ(s.savedClassList, nullptr);
        EXPECT_EQ(s.savedFactoryList, nullptr);
    }
    void ExpectUnregistered() {
        EXPECT_EQ(CurrentModuleState()->libraryList, nullptr);
        EXPECT_EQ(ExtensionModule.initialized, 0);
        EXPECT_EQ(ExtensionModule.module, nullptr);
    }
    RuntimeClass appClass{"AppClass", nullptr};
    ClassFactory appFactory{"AppFactory", nullptr};
};

TEST_F(Module, EarlyStepMovesBothListsIntoTheirSavedSlots) {
    EXPECT_EQ(ModuleEarlyStep(kInstance, vintrel::ProcessAttach, nullptr), 1);
    const ModuleState& s = *CurrentModuleState();
    EXPECT_EQ(s.classList, nullptr);
    EXPECT_EQ(s.factoryList, nullptr);
    EXPECT_EQ(s.savedClassList, &appClass);
    EXPECT_EQ(s.savedFactoryList, &appFactory);
    EXPECT_EQ(s.libraryList, nullptr);
    // Reason 0 and the thread notifications leave the state alone.
    for (uint32_t reason : {0u, 2u, 3u}) {
        EXPECT_EQ(ModuleEarlyStep(kInstance, reason, nullptr), 1);
        EXPECT_EQ(s.classList, nullptr);
        EXPECT_EQ(s.savedClassList, &appClass);
        EXPECT_EQ(s.savedFactoryList, &appFactory);
    }
    EXPECT_EQ(ModuleEntry(kInstance, vintrel::ProcessAttach, nullptr), 1);
}

TEST_F(Module, AttachJoinsTheChainAndDetachLeavesIt) {
    RuntimeClass own{"ModuleClass", nullptr};
    ASSERT_EQ(Attach(&own), 1);
    const DynLinkLibrary* link = CurrentModuleState()->libraryList;
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->module, kInstance);
    EXPECT_EQ(link->system, 0);
    EXPECT_EQ(link->classes, &own) << "what static initialisation registered is the module's";
    EXPECT_EQ(link->next, nullptr);
    EXPECT_EQ(ExtensionModule.initialized, 1);
    EXPECT_EQ(ExtensionModule.module, kInstance);
    EXPECT_EQ(ExtensionModule.firstSharedClass, &own);
    ExpectApplicationListsInPlace();

    EXPECT_EQ(Detach(), 1);
    ExpectUnregistered();
    ExpectApplicationListsInPlace();
}

TEST_F(Module, DetachLeavesOtherModulesInTheChain) {
    ExtensionModuleRecord other{};
    ASSERT_EQ(InitExtensionModule(other, &otherTag), 1);
    DynLinkLibrary* otherLink = ConstructDynLinkLibrary(ClassLibraryAlloc(kDynLinkLibraryBytes), other, 0);
    ASSERT_EQ(Attach(), 1);
    ASSERT_NE(CurrentModuleState()->libraryList, otherLink);
    EXPECT_EQ(CurrentModuleState()->libraryList->next, otherLink);
    EXPECT_EQ(Detach(), 1);
    EXPECT_EQ(CurrentModuleState()->libraryList, otherLink);
    EXPECT_EQ(otherLink->next, nullptr);
    TermExtensionModule(other, 0);
}

TEST_F(Module, RefusedInitialisationRefusesTheLoadAndRegistersNothing) {
    RefuseInitialisation(true);
    RuntimeClass own{"ModuleClass", nullptr};
    EXPECT_EQ(Attach(&own), 0);
    ExpectUnregistered();
    ExpectApplicationListsInPlace();
    // The loader follows a refused attach with a detach.
    EXPECT_EQ(Detach(), 1);
    ExpectUnregistered();
    ExpectApplicationListsInPlace();
}

TEST_F(Module, FailedAllocationIsPassedOver) {
    FailAllocation(true);
    EXPECT_EQ(Attach(), 1);
    EXPECT_EQ(ExtensionModule.initialized, 1);
    EXPECT_EQ(CurrentModuleState()->libraryList, nullptr);
    EXPECT_EQ(Detach(), 1);
    ExpectUnregistered();
}

TEST_F(Module, ThreadNotificationsAcceptAndChangeNothing) {
    for (bool loaded : {false, true}) {
        if (loaded) {
            ASSERT_EQ(Attach(), 1);
        }
        const ModuleState before = *CurrentModuleState();
        const ExtensionModuleRecord record = ExtensionModule;
        for (uint32_t reason : {vintrel::ThreadAttach, vintrel::ThreadDetach}) {
            EXPECT_EQ(ModuleEntry(kInstance, reason, nullptr), 1) << reason;
            const ModuleState& now = *CurrentModuleState();
            EXPECT_EQ(now.libraryList, before.libraryList);
            EXPECT_EQ(now.classList, before.classList);
            EXPECT_EQ(now.factoryList, before.factoryList);
            EXPECT_EQ(ExtensionModule.initialized, record.initialized);
            EXPECT_EQ(ExtensionModule.module, record.module);
        }
    }
    ASSERT_NE(CurrentModuleState()->libraryList, nullptr);
    EXPECT_EQ(CurrentModuleState()->libraryList->next, nullptr) << "no second registration";
    EXPECT_EQ(Detach(), 1);
}

}  // namespace

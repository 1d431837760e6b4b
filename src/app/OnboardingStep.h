#pragma once

#include "app/MissingPermission.h"

// One page of the first-run setup.
struct OnboardingStep {
    enum class Kind { Welcome, Permission, APIKey, Complete };

    Kind kind = Kind::Welcome;
    MissingPermission permission = MissingPermission::GlobalHotkey; // for Kind::Permission

    static OnboardingStep welcome() { return {Kind::Welcome}; }
    static OnboardingStep missing(MissingPermission permission) { return {Kind::Permission, permission}; }
    static OnboardingStep apiKey() { return {Kind::APIKey}; }
    static OnboardingStep complete() { return {Kind::Complete}; }

    friend bool operator==(const OnboardingStep &a, const OnboardingStep &b)
    {
        return a.kind == b.kind && (a.kind != Kind::Permission || a.permission == b.permission);
    }
};

#pragma once

// Where one of our windows sits among the others, bottom to top, whatever the user clicks. A window
// names its layer in the `windowLayerProperty` dynamic property; a titled window without one (the
// settings, the hotkey recorder) counts as opened from the panel and goes above all the others.
enum class WindowLayer { Overlay, Panel, Preview, Opened };

inline constexpr char windowLayerProperty[] = "glintWindowLayer";

#pragma once

#include <QFlags>

// The settings a page control and its sheets share.

enum TxpTabPosition
{
    tpTop,
    tpBottom,
    tpLeft,
    tpRight
};

// pcsXP is the control's own look; the others are the look of a plain tab control.
enum TxpPageControlStyle
{
    pcsTabs,
    pcsButtons,
    pcsFlatButtons,
    pcsXP
};

enum TxpTabBGStyle
{
    bgsNone,
    bgsGradient,
    bgsTileImage,
    bgsStrechImage
};

enum TxpTextAlignment
{
    taLeftJustify,
    taRightJustify,
    taCenter
};

enum TOwnerDrawStateFlag
{
    odSelected = 0x1
};
Q_DECLARE_FLAGS(TOwnerDrawState, TOwnerDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TOwnerDrawState)

constexpr bool isButtonStyle(TxpPageControlStyle style)
{
    return style == pcsButtons || style == pcsFlatButtons;
}

// Stores the value when it differs; true when it did. Setters repaint only then.
template <typename T> bool assignChanged(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

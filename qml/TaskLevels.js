.pragma library

// Colours of the three priority bands, shared by every view that shows a task's level.
const low = "#ffffff"
const medium = "#4da6ff"
const high = "#b873ff" // 3:1 on a selected row too

function color(level) {
    return level <= 20 ? low : level <= 50 ? medium : high
}

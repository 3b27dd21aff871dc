#!/usr/bin/env bash
# Regenerates the fallback icons (used where the desktop's icon theme has none).
set -euo pipefail
cd "$(dirname "$0")/icons"
sq() { convert -size 24x24 xc:none -fill "$2" -stroke "$3" -strokewidth 1 -draw "roundrectangle 2,2 21,21 4,4" "${@:4}" "$1.png"; }
folder() { convert -size 24x24 xc:none -fill "$2" -stroke '#8a6d1c' -draw "polygon 2,6 9,6 11,8 21,8 21,20 2,20" "${@:3}" "$1.png"; }
play() { convert -size 24x24 xc:none -fill "$2" -draw "polygon 7,4 19,12 7,20" "$1.png"; }
sq app '#d04020' '#902010' -fill white -stroke none -draw "polygon 9,6 17,12 9,18"
play Start '#2e9d3a'
play Play '#2e9d3a'
convert -size 24x24 xc:none -fill '#d89a16' -draw "rectangle 6,5 10,19" -draw "rectangle 14,5 18,19" Pause.png
convert -size 24x24 xc:none -fill '#c0392b' -draw "rectangle 6,6 18,18" Stop.png
convert -size 24x24 xc:none -fill '#2e9d3a' -draw "polygon 3,5 11,12 3,19" -draw "polygon 12,5 20,12 12,19" AllStart.png
convert -size 24x24 xc:none -fill '#d89a16' -draw "rectangle 3,5 6,19" -draw "rectangle 9,5 12,19" -draw "rectangle 15,5 18,19" AllPause.png
convert -size 24x24 xc:none -fill '#3b73b9' -draw "polygon 16,4 6,12 16,20" -draw "rectangle 4,4 6,20" Last.png
convert -size 24x24 xc:none -fill '#3b73b9' -draw "polygon 8,4 18,12 8,20" -draw "rectangle 18,4 20,20" Next.png
convert -size 24x24 xc:none -fill none -stroke '#6a7b8c' -strokewidth 2 -draw "circle 12,12 12,4" -draw "line 12,7 12,13" -draw "line 12,13 16,15" Waitfor.png
convert -size 24x24 xc:none -fill '#c0392b' -draw "circle 12,12 12,3" -stroke white -strokewidth 2 -draw "line 8,8 16,16" -draw "line 16,8 8,16" Error.png
convert -size 24x24 xc:none -fill '#2e9d3a' -draw "circle 12,12 12,3" -stroke white -strokewidth 2 -fill none -draw "polyline 7,12 11,16 17,8" Ok.png
convert -size 24x24 xc:none -fill '#3b73b9' -draw "circle 12,12 12,3" -fill white -draw "rectangle 11,10 13,17" -draw "rectangle 11,6 13,8" Info1.png
convert -size 24x24 xc:none -fill '#5b8fd0' -draw "polygon 4,12 12,5 12,9 20,9 20,15 12,15 12,19" Request.png
convert -size 24x24 xc:none -fill '#8e6fc4' -draw "polygon 20,12 12,5 12,9 4,9 4,15 12,15 12,19" Response.png
sq AddNewJob '#2e9d3a' '#1e6d2a' -fill white -stroke none -draw "rectangle 11,6 13,18" -draw "rectangle 6,11 18,13"
sq AddNewJobB '#2e7d9d' '#1e5d6d' -fill white -stroke none -draw "rectangle 6,6 18,8" -draw "rectangle 6,11 18,13" -draw "rectangle 6,16 18,18"
convert -size 24x24 xc:none -fill none -stroke '#3b73b9' -strokewidth 3 -draw "circle 10,10 10,4" -draw "line 14,14 20,20" AddSearch.png
convert -size 24x24 xc:none -fill '#fff6c4' -stroke '#a08a2c' -draw "rectangle 4,3 20,21" -stroke '#a08a2c' -draw "line 7,8 17,8" -draw "line 7,12 17,12" -draw "line 7,16 13,16" Comment.png
convert -size 24x24 xc:none -fill '#9aa4ad' -stroke '#5c6670' -draw "rectangle 6,7 18,21" -draw "rectangle 4,4 20,6" -draw "line 10,10 10,18" -draw "line 14,10 14,18" Delete.png
convert -size 24x24 xc:none -fill white -stroke '#5c6670' -draw "polygon 5,3 15,3 19,7 19,21 5,21" -fill '#2e9d3a' -stroke none -draw "polygon 9,10 16,14 9,18" Openfile.png
folder Opendir '#f2c94c'
folder 4 '#f2c94c'
folder 5 '#f2c94c'
folder 6 '#f7dc7c' -fill '#fbe9a8' -draw "polygon 4,11 22,11 20,20 2,20"
folder AddPbf '#f2c94c' -fill '#2e9d3a' -stroke none -draw "rectangle 14,12 16,18" -draw "rectangle 12,14 18,16"
convert -size 24x24 xc:none -fill white -stroke '#5c6670' -draw "polygon 5,3 15,3 19,7 19,21 5,21" -fill '#2e9d3a' -stroke none -draw "rectangle 11,9 13,17" -draw "rectangle 8,12 16,14" AddPf.png
convert -size 24x24 xc:none -fill '#6a7b8c' -draw "circle 12,12 12,4" -fill white -draw "circle 12,12 12,9" Option.png
convert -size 24x24 xc:none -fill '#3b73b9' -draw "circle 12,12 12,3" -fill white -draw "rectangle 11,15 13,17" -draw "rectangle 11,7 13,13" Help.png
convert -size 24x24 xc:none -fill '#c0392b' -draw "polygon 12,3 22,12 19,12 19,21 5,21 5,12 2,12" -fill white -draw "rectangle 10,14 14,21" Home.png
convert -size 24x24 xc:none -fill '#6a7b8c' -draw "circle 12,12 12,3" -fill white -draw "rectangle 11,10 13,17" -draw "rectangle 11,6 13,8" About.png
convert -size 24x24 xc:none -fill none -stroke '#3b73b9' -strokewidth 2 -draw "rectangle 3,3 21,21" -draw "line 3,9 21,9" -draw "line 9,9 9,21" tvNa1.png
cp tvNa1.png tvNa2.png; cp tvNa1.png lvD1.png; cp tvNa1.png lvD2.png; cp tvNa1.png Exchange1.png; cp tvNa1.png Exchange2.png
convert -size 24x24 xc:none -fill none -stroke '#3b73b9' -strokewidth 2 -draw "polyline 3,9 3,3 9,3" -draw "polyline 15,3 21,3 21,9" -draw "polyline 21,15 21,21 15,21" -draw "polyline 9,21 3,21 3,15" FullS.png
convert -size 24x24 xc:none -fill '#d04020' -draw "roundrectangle 2,2 21,21 4,4" -fill white -draw "polygon 9,6 17,12 9,18" 1.png
convert -size 24x24 xc:none -fill none -stroke '#3b73b9' -strokewidth 3 -draw "circle 10,10 10,4" -draw "line 14,14 20,20" 2.png
convert -size 24x24 xc:none -fill '#2e9d3a' -draw "polygon 8,3 16,3 16,11 20,11 12,20 4,11 8,11" 3.png
convert -size 24x24 xc:none -fill '#9aa4ad' -stroke '#5c6670' -draw "rectangle 6,7 18,21" -draw "rectangle 4,4 20,6" 7.png
convert -size 24x24 xc:none -fill none -stroke '#6a7b8c' -strokewidth 2 -draw "circle 12,12 12,4" -draw "line 12,7 12,13" -draw "line 12,13 16,15" History.png
convert -size 24x24 xc:none -fill white -stroke '#6a7b8c' -draw "rectangle 4,5 20,20" -fill '#c0392b' -stroke none -draw "rectangle 4,5 20,9" History1.png
# The desktop icon at 256 px (the same drawing as desktop/org.example.Quorvanta.svg).
convert -size 256x256 xc:none -fill '#d04020' -stroke '#902010' -strokewidth 8 \
    -draw "roundrectangle 16,16 239,239 44,44" -fill white -stroke none -draw "polygon 96,64 192,128 96,192" \
    -fill '#ffffffd9' -draw "roundrectangle 56,204 199,217 7,7" ../desktop/org.example.Quorvanta-256.png

-- The same rectangles; Lua has no geometry library, so it reads the text and sums the area itself.
local total, points = 0, 0
for k = 0, 19999 do
    local text = "POLYGON((0 0, " .. (k % 50 + 10) .. " 0, " .. (k % 50 + 10) .. " " .. (k % 30 + 5) .. ", 0 " .. (k % 30 + 5) .. ", 0 0))"
    local xs, ys = {}, {}
    for x, y in text:gmatch("(%-?[%d.]+) (%-?[%d.]+)") do xs[#xs + 1] = tonumber(x); ys[#ys + 1] = tonumber(y) end
    local a = 0
    for i = 1, #xs - 1 do a = a + xs[i] * ys[i + 1] - xs[i + 1] * ys[i] end
    total = total + math.abs(a) / 2
    points = points + #xs
end
print(math.floor(total) .. " " .. points)

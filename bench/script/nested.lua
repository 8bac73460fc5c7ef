local m = {}
for i = 0, 299 do
    local row = {}
    for j = 0, 299 do row[j + 1] = (i * j + 1) % 7 end
    m[i + 1] = row
end
local s = 0
for k = 0, 29 do
    for i = 0, 299 do
        for j = 0, 299 do s = (s + m[i + 1][j + 1] * (k + 1)) % 1000003 end
    end
end
print(s)

local a = {}
local x = 12345
for i = 1, 400000 do
    x = (x * 1103 + 12345) % 65536
    a[i] = x
end
table.sort(a)
print(a[1] .. " " .. a[200001] .. " " .. a[400000])

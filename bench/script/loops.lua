local s = 0
for i = 0, 2999 do
    for j = 0, 2999 do
        s = (s + i * j + 7) % 1000003
    end
end
print(s)
